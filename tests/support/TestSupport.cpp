#include "TestSupport.h"

#include <signal.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace testsupport {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "wavtest-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

// chmod gives back permissions a test took away; rm walks trees deeper than any path.
TempDir::~TempDir() {
    (void)std::system(
        ("chmod -R u+rwx '" + path_ + "' 2>/dev/null; rm -rf '" + path_ + "'").c_str());
}

std::string TempDir::mkdir(const std::string& name) const {
    std::filesystem::create_directories(file(name));
    return file(name);
}

std::string TempDir::write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(file(name), std::ios::binary);
    out << bytes;
    return file(name);
}

std::string TempDir::fill(std::string text) const {
    for (size_t at = 0; (at = text.find('@', at)) != std::string::npos; at += path_.size())
        text.replace(at, 1, path_);
    return text;
}

bool WriteWave(const std::string& path, const std::vector<float>& interleaved, int channels,
               int rate, int format, SF_INSTRUMENT* instrument) {
    SF_INFO info{0, rate, channels, format, 0, 0};
    SNDFILE* f = sf_format_check(&info) ? sf_open(path.c_str(), SFM_WRITE, &info) : nullptr;
    if (!f) return false;
    sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    if (instrument) sf_command(f, SFC_SET_INSTRUMENT, instrument, sizeof *instrument);
    const sf_count_t frames = static_cast<sf_count_t>(interleaved.size()) / channels;
    const bool written = sf_writef_float(f, interleaved.data(), frames) == frames;
    return sf_close(f) == 0 && written;
}

std::string Chain(const std::string& folder, const std::vector<std::string>& subs,
                  const std::string& name, const std::string& bytes, bool inEach) {
    auto put = [&] { return static_cast<bool>(std::ofstream(name, std::ios::binary) << bytes); };
    const std::filesystem::path back = std::filesystem::current_path();
    std::string path = folder;
    bool ok = chdir(folder.c_str()) == 0;
    for (const std::string& s : subs) {
        path += "/" + s;  // made relative to the working folder: no path need name them
        ok = ok && (mkdir(s.c_str(), 0755), chdir(s.c_str()) == 0) && (!inEach || put());
    }
    ok = ok && put();
    std::filesystem::current_path(back);
    return ok ? path + "/" + name : "";
}

std::vector<float> Tone(double hz, int rate, int frames, int channels, float amp) {
    std::vector<float> out(static_cast<size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i) {
        float v = amp * static_cast<float>(std::sin(2.0 * M_PI * hz * i / rate));
        for (int c = 0; c < channels; ++c) out[static_cast<size_t>(i) * channels + c] = v;
    }
    return out;
}

bool Eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 10000 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool AsUnprivileged(const std::function<bool()>& fn, long fileLimit, bool keepRoot) {
    pid_t pid = fork();
    if (pid == 0) {
        if (!keepRoot && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
        if (fileLimit > 0) {
            signal(SIGXFSZ, SIG_IGN);  // the write then fails with EFBIG instead
            rlimit lim{static_cast<rlim_t>(fileLimit), static_cast<rlim_t>(fileLimit)};
            if (setrlimit(RLIMIT_FSIZE, &lim) != 0) _exit(2);
        }
        _exit(fn() ? 1 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 1;
}

}  // namespace testsupport
