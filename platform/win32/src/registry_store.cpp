// Where the registry file is, and how it is read and replaced safely between
// threads and processes.
//
// Writers serialise on an exclusive flock of "<file>.lock" (and, inside one
// process, on a mutex, which also tells the thread sanitizer about the order),
// re-read the file, apply their change and rename a complete new file over the
// old one. Readers take no lock: rename swaps whole versions, so a reader sees
// the old file or the new one, never a mix. Each process keeps the last version
// it parsed and reuses it while the file's bytes are unchanged.
#include "registry_model.h"
#include "win32/path.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <mutex>
#include <pwd.h>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::mutex g_pathMutex;
bool g_hasOverride = false; // guarded by g_pathMutex
std::string g_override;     // guarded by g_pathMutex
// Every path text handed out, kept for the life of the process so that callers
// may hold the pointer TvGetRegistryPath returned.
std::set<std::string> g_interned; // guarded by g_pathMutex

const char* Intern(const std::string& path)
{
    return g_interned.insert(path).first->c_str();
}

bool DirectoryExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ParentDirectory(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// The real path of path, or "" when it cannot be resolved (it does not exist).
std::string RealPath(const std::string& path)
{
    char resolved[PATH_MAX];
    if (path.empty() || !realpath(path.c_str(), resolved))
        return std::string();
    return resolved;
}

// Whether this copy of the library is an installed one, and the registry
// installed with it. Where the library was loaded from does not change while
// the process runs, so this is worked out once.
struct InstalledCopy {
    bool installed = false;
    std::string registry; // "" when the installation has none
};

const InstalledCopy& ThisCopy()
{
    static const InstalledCopy copy = [] {
        InstalledCopy result;
#if defined(TARVO_BUILD_LIBRARY) && defined(TARVO_INSTALL_REGISTRY)
        Dl_info info;
        if (!dladdr(reinterpret_cast<const void*>(&TvGetRegistryPath), &info) || !info.dli_fname)
            return result;
        const std::string here = RealPath(ParentDirectory(info.dli_fname));
        if (here.empty() || here == RealPath(ParentDirectory(TARVO_BUILD_LIBRARY)))
            return result;
        result.installed = true;
        result.registry = RealPath(here + "/" + TARVO_INSTALL_REGISTRY);
#endif
        return result;
    }();
    return copy;
}

std::string DefaultPath()
{
    const char* env = std::getenv("TARVO_REGISTRY");
    if (env && *env)
        return env;
    // An installed copy of the library uses the registry installed with it
    // (the build tree may still be there, but its modules are not the
    // installed ones); the build tree's copy uses the build tree's registry,
    // as long as that build tree is still there.
    const InstalledCopy& copy = ThisCopy();
    if (!copy.registry.empty())
        return copy.registry;
#ifdef TARVO_BUILD_REGISTRY
    const std::string build = TARVO_BUILD_REGISTRY;
    if (!copy.installed && !build.empty() && DirectoryExists(ParentDirectory(build)))
        return build;
#endif
    return TvXdgDirectory("XDG_CONFIG_HOME", ".config") + "/tarvo/registry.reg";
}

std::string CurrentPath()
{
    std::lock_guard<std::mutex> lock(g_pathMutex);
    return g_hasOverride ? g_override : DefaultPath();
}

// Creates every missing folder of path (like mkdir -p).
int MakeDirectories(const std::string& path)
{
    if (path.empty() || DirectoryExists(path))
        return 0;
    std::string parent = ParentDirectory(path);
    if (parent != path) {
        int err = MakeDirectories(parent);
        if (err)
            return err;
    }
    if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

// Reads the whole file; a missing file reads as empty. Returns 0 or an errno.
int ReadWholeFile(const std::string& path, std::string* content)
{
    content->clear();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return (errno == ENOENT || errno == ENOTDIR) ? 0 : errno;
    char buf[65536];
    int err = 0;
    while (true) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) {
            content->append(buf, static_cast<size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            err = errno;
            break;
        }
    }
    close(fd);
    return err;
}

int WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += static_cast<size_t>(n);
    }
    return 0;
}

// Writes text to a new file beside path and renames it over path, so that
// readers see either the old or the new contents. Returns 0 or an errno.
int ReplaceFile(const std::string& path, const std::string& text)
{
    static std::atomic<unsigned> s_counter{0};
    struct stat old;
    bool hadOld = stat(path.c_str(), &old) == 0;
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tmp = path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(s_counter++);
        fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return errno;
    }
    if (fd < 0)
        return EEXIST;
    if (hadOld)
        fchmod(fd, old.st_mode & 07777); // keep permissions set by hand
    int err = WriteAll(fd, text);
    if (!err && fsync(fd) != 0)
        err = errno;
    if (close(fd) != 0 && !err)
        err = errno;
    if (!err && rename(tmp.c_str(), path.c_str()) != 0)
        err = errno;
    if (err)
        unlink(tmp.c_str());
    // The folder is not synced: after a crash the file is the old or the new
    // version, both complete, which is all the registry promises.
    return err;
}

LONG ErrorFromErrno(int err)
{
    return static_cast<LONG>(TvWin32ErrorFromErrno(err));
}

// The last version of the file this process parsed.
struct CachedFile {
    std::string path;
    std::string content;
    std::shared_ptr<const tv::reg::Tree> tree;
    int malformedLines = 0;
};
std::mutex g_cacheMutex;
CachedFile g_cache; // guarded by g_cacheMutex

// Serialises this process's writers before they take the file lock.
std::mutex g_writeMutex;

class FileLock {
public:
    explicit FileLock(const std::string& path)
    {
        m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (m_fd < 0) {
            m_error = errno;
            return;
        }
        while (flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                m_error = errno;
                break;
            }
        }
    }
    ~FileLock()
    {
        if (m_fd >= 0)
            close(m_fd); // also releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    int Error() const { return m_error; }

private:
    int m_fd = -1;
    int m_error = 0;
};

} // namespace

extern "C" const char* TvGetRegistryPath(void)
{
    std::lock_guard<std::mutex> lock(g_pathMutex);
    return Intern(g_hasOverride ? g_override : DefaultPath());
}

extern "C" void TvSetRegistryPath(const char* pathOrNull)
{
    std::lock_guard<std::mutex> lock(g_pathMutex);
    g_hasOverride = pathOrNull != nullptr && *pathOrNull != '\0';
    g_override = g_hasOverride ? pathOrNull : "";
}

namespace tv::reg {

LONG Load(std::shared_ptr<const Tree>* out)
{
    std::string path = CurrentPath();
    std::string content;
    if (int err = ReadWholeFile(path, &content))
        return ErrorFromErrno(err);
    {
        std::lock_guard<std::mutex> lock(g_cacheMutex);
        if (g_cache.tree && g_cache.path == path && g_cache.content == content) {
            *out = g_cache.tree;
            return ERROR_SUCCESS;
        }
    }
    auto tree = std::make_shared<Tree>();
    int malformed = Parse(content, path, tree.get());
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    g_cache.path = path;
    g_cache.content = std::move(content);
    g_cache.tree = tree;
    g_cache.malformedLines = malformed;
    *out = std::move(tree);
    return ERROR_SUCCESS;
}

LONG Modify(const std::function<LONG(Tree& tree, bool& changed)>& change)
{
    std::string path = CurrentPath();
    if (int err = MakeDirectories(ParentDirectory(path)))
        return ErrorFromErrno(err);

    std::lock_guard<std::mutex> writeLock(g_writeMutex);
    FileLock fileLock(path + ".lock");
    if (fileLock.Error())
        return ErrorFromErrno(fileLock.Error());

    std::string content;
    if (int err = ReadWholeFile(path, &content))
        return ErrorFromErrno(err);
    std::unique_ptr<Tree> tree;
    int malformed = 0;
    {
        std::lock_guard<std::mutex> lock(g_cacheMutex);
        if (g_cache.tree && g_cache.path == path && g_cache.content == content) {
            tree = g_cache.tree->Clone();
            malformed = g_cache.malformedLines;
        }
    }
    if (!tree) {
        tree = std::make_unique<Tree>();
        malformed = Parse(content, path, tree.get());
    }

    bool changed = false;
    LONG result = change(*tree, changed);
    if (result != ERROR_SUCCESS || !changed)
        return result;

    if (malformed > 0) {
        // Rewriting drops the lines that could not be read; keep the file as it
        // was, so that nothing typed by hand is lost for good. Without that copy
        // the change is refused and the file stays as it is.
        std::string backup = path + ".bak";
        if (int err = ReplaceFile(backup, content)) {
            std::fprintf(stderr,
                         "%s: has malformed lines and cannot be kept as %s (%s); not rewritten\n",
                         path.c_str(), backup.c_str(), std::strerror(err));
            return ErrorFromErrno(err);
        }
        std::fprintf(stderr, "%s: malformed lines dropped; the previous file is kept as %s\n",
                     path.c_str(), backup.c_str());
    }
    std::string text = Serialize(*tree);
    if (int err = ReplaceFile(path, text))
        return ErrorFromErrno(err);

    std::lock_guard<std::mutex> lock(g_cacheMutex);
    g_cache.path = path;
    g_cache.content = std::move(text);
    g_cache.tree = std::shared_ptr<const Tree>(std::move(tree));
    g_cache.malformedLines = 0;
    return ERROR_SUCCESS;
}

} // namespace tv::reg
