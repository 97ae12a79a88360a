#include "platform/libindex.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>

#include "platform/workers.h"

namespace libindex {

namespace {

constexpr int kSchema = 2;
// Writes waiting past this are dropped: a cache folder that stopped answering must not let the
// queue grow without end. What is dropped is read again by a later walk.
constexpr size_t kMaxQueued = 200000;
constexpr size_t kBatch = 2000;  // operations a transaction

const char* const kCreate =
    "CREATE TABLE IF NOT EXISTS folders(path BLOB PRIMARY KEY, mtime INTEGER NOT NULL,"
    " subs BLOB NOT NULL, wavs BLOB NOT NULL) WITHOUT ROWID;";

enum Stmt { kUpsert, kForget, kBelow, kStmts };
const char* const kSql[kStmts] = {
    ("INSERT INTO folders(path, mtime, subs, wavs) VALUES(?1, ?2, ?3, ?4) ON CONFLICT(path) DO"
     " UPDATE SET mtime = excluded.mtime, subs = excluded.subs, wavs = excluded.wavs"),
    "DELETE FROM folders WHERE path >= ?1 AND path < ?2",
    "SELECT path, mtime, subs, wavs FROM folders WHERE path >= ?1 AND path < ?2 ORDER BY path"};

// A file that is not (or no longer) an index of ours, as opposed to one that is busy or a disk
// that is full.
bool Damaged(int rc) {
    switch (rc & 0xFF) {
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_ERROR:
        case SQLITE_SCHEMA:
        case SQLITE_MISMATCH:
        case SQLITE_FORMAT:
            return true;
        default:
            return false;
    }
}

// Everything below path: the paths from path up to (not including) path with its final "/"
// raised to the next byte, "0".
std::string UpperBound(const std::string& path) {
    std::string hi = path;
    if (!hi.empty()) hi.back() = static_cast<char>(hi.back() + 1);
    return hi;
}

void Bind(sqlite3_stmt* st, int i, const std::string& s) {
    sqlite3_bind_blob(st, i, s.data(), static_cast<int>(s.size()), SQLITE_STATIC);
}

struct Op {
    bool forget = false;
    Folder folder;
};

}  // namespace

struct Index::State {
    std::string file;
    std::mutex dbMu;  // the connection and its statements
    sqlite3* db = nullptr;
    sqlite3_stmt* stmt[kStmts] = {};

    std::mutex qMu;
    std::condition_variable idle;
    std::deque<Op> queue;  // under qMu
    bool writing = false;  // under qMu
    std::atomic<uint64_t> generation{0};
    workers::Pool writer{1, 1};

    ~State() { Close(); }

    void Close() {
        for (sqlite3_stmt*& s : stmt) {
            sqlite3_finalize(s);
            s = nullptr;
        }
        sqlite3_close(db);
        db = nullptr;
    }

    // Opens the file as an index of ours; an SQLite result code.
    int Setup() {
        int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) return SQLITE_CANTOPEN;
        ::close(fd);
        int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        if (rc != SQLITE_OK) return rc;
        sqlite3_busy_timeout(db, 5000);  // another copy of the program may be writing
        rc = sqlite3_exec(
            db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA mmap_size=268435456;",
            nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) return rc;
        int version = -1, tables = -1;
        auto one = [this](const char* sql, int* out) {
            sqlite3_stmt* st = nullptr;
            int r = sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
            if (r == SQLITE_OK && (r = sqlite3_step(st)) == SQLITE_ROW) {
                *out = sqlite3_column_int(st, 0);
                r = SQLITE_OK;
            }
            sqlite3_finalize(st);
            return r;
        };
        if ((rc = one("PRAGMA user_version", &version)) != SQLITE_OK) return rc;
        if ((rc = one("SELECT count(*) FROM sqlite_schema", &tables)) != SQLITE_OK) return rc;
        if (version == 0 && tables == 0) {
            const std::string create = std::string("BEGIN;") + kCreate +
                                       "PRAGMA user_version=" + std::to_string(kSchema) +
                                       ";COMMIT;";
            rc = sqlite3_exec(db, create.c_str(), nullptr, nullptr, nullptr);
            if (rc != SQLITE_OK) return rc;
        } else if (version != kSchema) {
            return SQLITE_FORMAT;  // another program's file, or another version of ours
        }
        for (int i = 0; i < kStmts; ++i)
            if ((rc = sqlite3_prepare_v3(db, kSql[i], -1, SQLITE_PREPARE_PERSISTENT, &stmt[i],
                                         nullptr)) != SQLITE_OK)
                return rc;
        return SQLITE_OK;
    }

    // The file is not ours to read: it goes aside (kept for a look, replacing one set aside
    // before) and a fresh index takes its place.
    bool SetAside() {
        ++generation;
        Close();
        ::rename(file.c_str(), (file + ".broken").c_str());
        ::unlink((file + "-wal").c_str());
        ::unlink((file + "-shm").c_str());
        if (Setup() == SQLITE_OK) return true;
        Close();
        return false;
    }

    // Under dbMu: one operation, inside the caller's transaction.
    int Apply(const Op& op) {
        const Folder& f = op.folder;
        sqlite3_stmt* st = stmt[op.forget ? kForget : kUpsert];
        const std::string hi = op.forget ? UpperBound(f.path) : std::string();
        Bind(st, 1, f.path);
        if (op.forget) {
            Bind(st, 2, hi);
        } else {
            sqlite3_bind_int64(st, 2, f.mtime);
            Bind(st, 3, f.subs);
            Bind(st, 4, f.wavs);
        }
        const int rc = sqlite3_step(st);
        sqlite3_reset(st);
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    }

    // Under dbMu: a batch in one transaction, all or nothing.
    void Write(const std::vector<Op>& batch) {
        if (!db) return;
        int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        for (size_t i = 0; rc == SQLITE_OK && i < batch.size(); ++i) rc = Apply(batch[i]);
        if (rc == SQLITE_OK) rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        ++generation;  // even a failed write may have changed what another copy sees
        if (rc == SQLITE_OK) return;
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        if (Damaged(rc)) SetAside();
    }

    // On the writer: drains the queue, a batch a transaction.
    static void Drain(const std::shared_ptr<State>& s) {
        for (;;) {
            std::vector<Op> batch;
            {
                std::lock_guard lock(s->qMu);
                while (!s->queue.empty() && batch.size() < kBatch) {
                    batch.push_back(std::move(s->queue.front()));
                    s->queue.pop_front();
                }
                if (batch.empty()) {
                    s->writing = false;
                    s->idle.notify_all();
                    return;
                }
            }
            std::lock_guard lock(s->dbMu);
            s->Write(batch);
        }
    }

    static void Enqueue(const std::shared_ptr<State>& s, Op op) {
        std::lock_guard lock(s->qMu);
        if (s->queue.size() >= kMaxQueued) return;
        s->queue.push_back(std::move(op));
        if (s->writing) return;
        s->writing = true;
        if (!s->writer.Run([s] { Drain(s); })) s->writing = false;  // tried again with the next
    }
};

std::shared_ptr<Index> Index::Open(const std::string& folder) {
    if (folder.empty()) return nullptr;
    std::string dir = folder.back() == '/' ? folder : folder + "/";
    // Parents as the cache folder's own (0700): they hold nothing else of ours.
    for (size_t at = dir.find('/', 1); at != std::string::npos; at = dir.find('/', at + 1))
        ::mkdir(dir.substr(0, at).c_str(), 0700);
    auto s = std::make_shared<State>();
    s->file = dir + kFileName;
    const int rc = s->Setup();
    if (rc != SQLITE_OK && !(Damaged(rc) && s->SetAside())) return nullptr;
    return std::shared_ptr<Index>(new Index(std::move(s)));
}

Index::~Index() {
    Flush();
    std::lock_guard lock(s_->dbMu);
    s_->Close();  // nobody else reads or writes through it any more
}

void Index::Record(Folder f) { State::Enqueue(s_, {false, std::move(f)}); }

void Index::Forget(const std::string& path) {
    Op op{true, {}};
    op.folder.path = path;
    State::Enqueue(s_, std::move(op));
}

void Index::Flush() {
    std::unique_lock lock(s_->qMu);
    if (!s_->writing && !s_->queue.empty()) {  // the writer could not be had before
        s_->writing = true;
        if (!s_->writer.Run([s = s_] { State::Drain(s); })) s_->writing = false;
    }
    s_->idle.wait(lock, [&] { return !s_->writing; });
}

bool Index::Below(const std::string& root, const std::function<bool(Folder&&)>& take) {
    std::lock_guard lock(s_->dbMu);
    if (!s_->db) return false;
    sqlite3_stmt* st = s_->stmt[kBelow];
    const std::string hi = UpperBound(root);
    Bind(st, 1, root);
    Bind(st, 2, hi);
    bool more = true;
    int rc;
    auto blob = [st](int col) {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(st, col));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(st, col)))
                 : std::string();
    };
    while (more && (rc = sqlite3_step(st)) == SQLITE_ROW)
        more = take({blob(0), sqlite3_column_int64(st, 1), blob(2), blob(3)});
    sqlite3_reset(st);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW && Damaged(rc)) {
        s_->SetAside();
        return false;
    }
    return true;
}

uint64_t Index::Generation() const { return s_->generation.load(); }

std::string Join(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) (out += n) += '\0';
    return out;
}

std::vector<std::string> Split(std::string_view names) {
    std::vector<std::string> out;
    for (size_t at = 0, end; at < names.size(); at = end + 1) {
        end = std::min(names.find('\0', at), names.size());
        out.emplace_back(names.substr(at, end - at));
    }
    return out;
}

namespace {
// Never destroyed: workers still reading or writing at exit use it.
struct Program {
    std::mutex mu;
    bool useDefault = false, tried = false;
    std::shared_ptr<Index> index;
};
Program& The() {
    static auto* program = new Program;
    return *program;
}
}  // namespace

std::shared_ptr<Index> Shared() {
    Program& p = The();
    std::lock_guard lock(p.mu);
    if (p.useDefault && !p.tried) {
        p.tried = true;
        p.index = Index::Open(CacheFolder());
    }
    return p.index;
}

bool Wanted() {
    Program& p = The();
    std::lock_guard lock(p.mu);
    return p.index || (p.useDefault && !p.tried);
}

void UseDefault() {
    std::lock_guard lock(The().mu);
    The().useDefault = true;
}

void Use(std::shared_ptr<Index> index) {
    Program& p = The();
    std::lock_guard lock(p.mu);
    p.useDefault = false;
    p.index = std::move(index);
}

std::string CacheFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && cache[0] == '/') return std::string(cache) + "/wavplayer/";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.cache/wavplayer/";
    return {};
}

}  // namespace libindex
