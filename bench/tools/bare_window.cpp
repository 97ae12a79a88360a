// The least a Qt program does to show a window: the start-up benchmark's baselines.
// "bare_window" shows an empty window; "bare_window --text" one line of text, which makes Qt
// load its font database as any window with text must. Each closes after its first paint.
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <cstring>

namespace {

class Window : public QWidget {
  protected:
    void paintEvent(QPaintEvent* event) override {
        QWidget::paintEvent(event);
        if (!closing_) QTimer::singleShot(0, this, [this] { close(); });
        closing_ = true;
    }

  private:
    bool closing_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Window window;
    window.resize(235, 301);
    if (argc > 1 && std::strcmp(argv[1], "--text") == 0) new QLabel("[..]", &window);
    window.show();
    return app.exec();
}
