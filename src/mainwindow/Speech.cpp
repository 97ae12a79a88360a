#include "mainwindow/Speech.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

#include "mainwindow/FormLogic.h"
#include "mainwindow/PathListModel.h"

namespace {

// Out of the window's tree (it is hidden); a reader meets it only when it tells something.
class Herald : public QWidget {
  public:
    explicit Herald(QWidget* parent) : QWidget(parent) {
        setObjectName("herald");
        setFocusPolicy(Qt::NoFocus);
        hide();
    }
    QString news;
};

class HeraldAccessible : public QAccessibleWidget {
  public:
    explicit HeraldAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::Notification) {}
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? static_cast<Herald*>(widget())->news : QString();
    }
};

QAccessibleInterface* HeraldFactory(const QString& /*className*/, QObject* object) {
    auto* herald = dynamic_cast<Herald*>(object);
    return herald ? new HeraldAccessible(herald) : nullptr;
}

}  // namespace

void Say(QWidget* window, const QString& text) {
    if (!QAccessible::isActive() || !window || !window->isActiveWindow() || text.isEmpty()) return;
    static const bool installed = (QAccessible::installFactory(HeraldFactory), true);
    (void)installed;
    auto* herald = window->findChild<Herald*>("herald", Qt::FindDirectChildrenOnly);
    if (!herald) herald = new Herald(window);
    herald->news = text;
    QAccessibleEvent event(herald, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&event);
}

QString FolderSpeech(const FormLogic& logic) {
    std::string folder = logic.dirDirs.Path();
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const std::string name = folder == "/" ? folder : folder.substr(folder.rfind('/') + 1);
    qsizetype n = 0;
    for (const PathEntry& e : logic.Entries()) n += e.kind != EntryKind::Parent;
    const QString count = n == 0   ? QString("leer")
                          : n == 1 ? QString("1 Eintrag")
                                   : QString::fromUtf8("%1 Eintr\xc3\xa4ge").arg(n);
    return DisplayName(name) + ", " + count;
}
