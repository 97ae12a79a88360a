#include "startup/SessionEnd.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>

#include "mainwindow/frmWAV.h"
#include "startup/AppModul.h"

namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGHUP, SIGINT};

// Written by the handler, read on the window thread. Only one watch exists at a time.
int g_pipe[2] = {-1, -1};

extern "C" void OnEndSignal(int signal) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    // A full pipe already holds a wake-up; the byte is not needed then.
    [[maybe_unused]] ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

// Saves the settings as a close does, without closing: the session may still be cancelled, and
// a window already closing has saved them.
void SaveAsAtClose() {
    frmWAV* form = MainForm();
    if (!form || form->Closing()) return;
    int16_t cancel = 0;
    form->Form_Unload(cancel);
}

class Watch : public QObject {
  public:
    Watch() {
        if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            g_pipe[0] = g_pipe[1] = -1;
            return;
        }
        for (size_t i = 0; i < kSignals.size(); ++i) {
            struct sigaction now {};
            if (::sigaction(kSignals[i], nullptr, &now) != 0 || now.sa_handler == SIG_IGN) continue;
            struct sigaction handler {};
            handler.sa_handler = OnEndSignal;
            sigemptyset(&handler.sa_mask);
            handler.sa_flags = SA_RESTART;
            installed_[i] = ::sigaction(kSignals[i], &handler, &before_[i]) == 0;
        }
        notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] { Drain(); });
        if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
#ifndef QT_NO_SESSIONMANAGER
            connect(app, &QGuiApplication::commitDataRequest, this,
                    [](QSessionManager&) { SaveAsAtClose(); });
#endif
            // Quitting for any reason but a close of the window (the session manager's end).
            connect(app, &QCoreApplication::aboutToQuit, this, [] { SaveAsAtClose(); });
        }
    }
    ~Watch() override {
        for (size_t i = 0; i < kSignals.size(); ++i)
            if (installed_[i]) ::sigaction(kSignals[i], &before_[i], nullptr);
        delete notifier_;
        for (int& fd : g_pipe) {
            if (fd >= 0) ::close(fd);
            fd = -1;
        }
    }

  private:
    void Drain() {
        unsigned char bytes[64];
        bool any = false;
        while (::read(g_pipe[0], bytes, sizeof bytes) > 0) any = true;
        // A second signal finds the window closed or closing; closing it again saves nothing.
        if (!any) return;
        // Closing the last window ends the event loop, as a close by the user does.
        if (frmWAV* form = MainForm())
            form->close();
        else
            QCoreApplication::quit();
    }

    QSocketNotifier* notifier_ = nullptr;
    std::array<struct sigaction, kSignals.size()> before_{};
    std::array<bool, kSignals.size()> installed_{};
};

}  // namespace

std::unique_ptr<QObject> WatchSessionEnd() { return std::make_unique<Watch>(); }
