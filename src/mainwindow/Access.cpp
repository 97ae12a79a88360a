// What a screen reader finds in the window: a name (German, as the window's texts are) and a
// description for every control, and only the controls that are shown.
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include "mainwindow/PathListView.h"
#include "mainwindow/Speech.h"
#include "mainwindow/frmWAV.h"

namespace {

// The window lists its shown children only: the scanners' frame and the old focus sink are
// never seen, and a reader that listed them would offer them as controls.
class FormAccessible : public QAccessibleWidget {
  public:
    explicit FormAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::Window) {}
    int childCount() const override { return static_cast<int>(Shown().size()); }
    QAccessibleInterface* child(int index) const override {
        const QList<QWidget*> shown = Shown();
        return index >= 0 && index < shown.size()
                   ? QAccessible::queryAccessibleInterface(shown[index])
                   : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child ? static_cast<int>(Shown().indexOf(qobject_cast<QWidget*>(child->object())))
                     : -1;
    }

  private:
    QList<QWidget*> Shown() const {
        QList<QWidget*> shown;
        for (QObject* o : widget()->children())
            if (auto* w = qobject_cast<QWidget*>(o);
                w && !w->isWindow() && !w->isHidden() && !qobject_cast<QMenu*>(w))
                shown.append(w);
        return shown;
    }
};

QAccessibleInterface* FormFactory(const QString& /*className*/, QObject* object) {
    auto* form = dynamic_cast<frmWAV*>(object);
    return form ? new FormAccessible(form) : nullptr;
}

QString De(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

void frmWAV::BuildAccess() {
    static const bool installed = (QAccessible::installFactory(FormFactory), true);
    (void)installed;
    drvDrives->setAccessibleName("Laufwerk");
    // On Linux a combo box is read by its value, which Orca finds nowhere in Qt's box: the label
    // that names it carries the value too. A value chosen is said at once.
    auto* drives = new QLabel(this);
    drives->setBuddy(drvDrives);
    drives->hide();
    auto label = [this, drives] { drives->setText("Laufwerk " + drvDrives->currentText()); };
    label();
    connect(drvDrives, &QComboBox::currentIndexChanged, this, label);
    connect(drvDrives, &QComboBox::activated, this, [this] {
        if (drvDrives->hasFocus()) Say(this, drvDrives->currentText());
    });
    drvDrives->setAccessibleDescription(De("Datentr\xc3\xa4ger, dessen Ordner die Liste zeigt"));
    lstPath->setAccessibleName("Ordner und WAV-Dateien");
    // Said at every focus: the keys are in the man page.
    lstPath->setAccessibleDescription("Pfeiltasten spielen ab");
    // The Menu key and Shift+F10 open the menu over the selected row, on its first entry (a
    // reader says it), as keyboard menus open everywhere.
    connect(lstPath, &PathListView::menuKey, this, [this] {
        const QRect row = lstPath->visualRect(lstPath->currentIndex());
        mnuPop->popup(
            lstPath->viewport()->mapToGlobal(row.isValid() ? row.bottomLeft() : QPoint()));
        mnuPop->setActiveAction(mnuLoop);
    });
    cmdRoot->setAccessibleName("Wurzelverzeichnis");
    cmdBack->setAccessibleName(De("Eine Ebene h\xc3\xb6her"));
    Command2->setAccessibleName("Neu einlesen");
    for (QPushButton* b : {cmdRoot, cmdBack, Command2}) b->setAccessibleDescription(b->toolTip());
    lblPath->setAccessibleDescription("Der gezeigte Ordner");
    mnuPop->setAccessibleName(De("Wiedergabe und Lautst\xc3\xa4rke"));
    // No handler gives it the focus: out of Tab, out of view and so out of a reader's tree.
    cmdDummy->setFocusPolicy(Qt::NoFocus);
    cmdDummy->hide();
}
