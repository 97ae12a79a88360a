// What a screen reader finds in the window: a name (German, as the window's texts are) and a
// description for every control, and only the controls that are shown.
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include "mainwindow/PathListView.h"
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
    // On Linux a combo box is read by its value; its name comes from a label that names it.
    auto* drives = new QLabel("Laufwerk", this);
    drives->setBuddy(drvDrives);
    drives->hide();
    drvDrives->setAccessibleDescription(De("Datentr\xc3\xa4ger, dessen Ordner die Liste zeigt"));
    lstPath->setAccessibleName("Ordner und WAV-Dateien");
    lstPath->setAccessibleDescription(
        De("Eine Datei spielt, wenn die Pfeiltaste losgelassen wird; Leertaste stoppt; "
           "Doppelklick \xc3\xb6"
           "ffnet einen Ordner; Strg+Pfeil auf und ab: lauter und leiser"));
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
