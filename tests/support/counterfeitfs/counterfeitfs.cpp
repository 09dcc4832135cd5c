// A FUSE file system that behaves like a counterfeit USB stick: it advertises more space than
// it has and silently stores everything written beyond its real capacity over earlier data.
//
//   counterfeitfs [--advertised=SIZE] [--real=SIZE] [FUSE options] DIR
//
// SIZE is a number of bytes with an optional K, M or G (powers of 1024), a multiple of 4096.
// Defaults: 256M advertised, 64M real. Space is handed out in 4096-byte blocks, lowest free
// logical block first, so a fresh medium fills in the order of writing; logical block L lives
// at physical block L mod (real / 4096).
// One flat root folder; every open bypasses the page cache. flock is left to the kernel,
// which enforces it locally for a file system that does not implement it itself.

#define FUSE_USE_VERSION 35
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fuse.h>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::uint64_t BlockSize = 4096;
constexpr std::uint64_t NoBlock = std::numeric_limits<std::uint64_t>::max();
constexpr std::size_t NameMax = 255;

std::uint64_t blocksFor(std::uint64_t bytes)
{
    return (bytes + BlockSize - 1) / BlockSize;
}

timespec now()
{
    timespec time{};
    clock_gettime(CLOCK_REALTIME, &time);
    return time;
}

struct Settings {
    std::uint64_t advertised = 256 << 20;
    std::uint64_t real = 64 << 20;
    bool valid = true;
};

// The flash behind the file system: a pool of logical blocks as large as the advertised
// capacity, stored in a ring of physical blocks as large as the real one.
class Medium {
public:
    explicit Medium(const Settings& settings)
        : m_used(settings.advertised / BlockSize, false), m_realBlocks(settings.real / BlockSize),
          m_storage(static_cast<std::byte*>(std::calloc(m_realBlocks, BlockSize)))
    {
        if (!m_storage)
            throw std::bad_alloc();
    }

    std::uint64_t totalBlocks() const { return m_used.size(); }
    std::uint64_t freeBlocks() const { return m_used.size() - m_usedCount; }

    std::optional<std::uint64_t> allocate()
    {
        for (std::uint64_t block = m_lowestMaybeFree; block < m_used.size(); ++block) {
            if (!m_used[block]) {
                m_used[block] = true;
                ++m_usedCount;
                m_lowestMaybeFree = block + 1;
                return block;
            }
        }
        m_lowestMaybeFree = m_used.size();
        return std::nullopt;
    }

    void release(std::uint64_t block)
    {
        m_used[block] = false;
        --m_usedCount;
        m_lowestMaybeFree = std::min(m_lowestMaybeFree, block);
    }

    void write(std::uint64_t block, std::uint64_t within, const char* data, std::size_t count)
    {
        std::memcpy(at(block, within), data, count);
    }

    void zero(std::uint64_t block, std::uint64_t within, std::size_t count)
    {
        std::memset(at(block, within), 0, count);
    }

    void read(std::uint64_t block, std::uint64_t within, char* data, std::size_t count) const
    {
        std::memcpy(data, at(block, within), count);
    }

private:
    std::byte* at(std::uint64_t block, std::uint64_t within) const
    {
        return m_storage.get() + (block % m_realBlocks) * BlockSize + within;
    }

    struct Free {
        void operator()(std::byte* memory) const { std::free(memory); }
    };

    std::vector<bool> m_used;
    std::uint64_t m_usedCount = 0;
    std::uint64_t m_lowestMaybeFree = 0;
    std::uint64_t m_realBlocks;
    std::unique_ptr<std::byte, Free> m_storage;
};

// A file's contents: its logical blocks (NoBlock for a hole) and size. The blocks return to
// the medium when the last name or open handle lets go of the file.
class Inode {
public:
    Inode(Medium& medium, mode_t mode) : m_medium(medium), m_mode(mode)
    {
        const fuse_context* context = fuse_get_context();
        m_uid = context->uid;
        m_gid = context->gid;
        m_changed = now();
    }
    ~Inode() { releaseFrom(0); }
    Inode(const Inode&) = delete;
    Inode& operator=(const Inode&) = delete;

    void stat(struct stat& st) const
    {
        st.st_mode = S_IFREG | (m_mode & 07777);
        st.st_nlink = 1;
        st.st_uid = m_uid;
        st.st_gid = m_gid;
        st.st_size = static_cast<off_t>(m_size);
        st.st_blksize = BlockSize;
        st.st_blocks = static_cast<blkcnt_t>(
            std::count_if(m_blocks.begin(), m_blocks.end(), [](auto b) { return b != NoBlock; }) *
            (BlockSize / 512));
        st.st_atim = st.st_mtim = st.st_ctim = m_changed;
    }

    int read(char* out, std::size_t count, std::uint64_t offset) const
    {
        if (offset >= m_size)
            return 0;
        const std::size_t total =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, m_size - offset));
        for (std::size_t done = 0; done < total;) {
            const std::uint64_t position = offset + done;
            const std::uint64_t within = position % BlockSize;
            const std::size_t piece =
                static_cast<std::size_t>(std::min<std::uint64_t>(BlockSize - within, total - done));
            const std::uint64_t block = m_blocks[position / BlockSize];
            if (block == NoBlock)
                std::memset(out + done, 0, piece);
            else
                m_medium.read(block, within, out + done, piece);
            done += piece;
        }
        return static_cast<int>(total);
    }

    // Writes as much as the medium has room for; ENOSPC only when nothing could be written.
    int write(const char* data, std::size_t count, std::uint64_t offset, std::uint64_t maxSize)
    {
        if (offset > maxSize || count > maxSize - offset)
            return -EFBIG;
        std::size_t done = 0;
        while (done < count) {
            const std::uint64_t position = offset + done;
            const std::uint64_t index = position / BlockSize;
            const std::uint64_t within = position % BlockSize;
            const std::size_t piece =
                static_cast<std::size_t>(std::min<std::uint64_t>(BlockSize - within, count - done));
            if (index >= m_blocks.size())
                m_blocks.resize(index + 1, NoBlock);
            if (m_blocks[index] == NoBlock) {
                const std::optional<std::uint64_t> fresh = m_medium.allocate();
                if (!fresh)
                    break;
                m_blocks[index] = *fresh;
                // What the flash held there before is no part of this file.
                if (piece < BlockSize)
                    m_medium.zero(*fresh, 0, BlockSize);
            }
            m_medium.write(m_blocks[index], within, data + done, piece);
            done += piece;
        }
        m_size = std::max<std::uint64_t>(m_size, offset + done);
        m_blocks.resize(blocksFor(m_size), NoBlock);
        m_changed = now();
        return done == 0 && count > 0 ? -ENOSPC : static_cast<int>(done);
    }

    int truncate(std::uint64_t size, std::uint64_t maxSize)
    {
        if (size > maxSize)
            return -EFBIG;
        if (size < m_size) {
            releaseFrom(blocksFor(size));
            const std::uint64_t tail = size % BlockSize;
            if (tail != 0 && m_blocks[size / BlockSize] != NoBlock)
                m_medium.zero(m_blocks[size / BlockSize], tail, BlockSize - tail);
        }
        m_blocks.resize(blocksFor(size), NoBlock);
        m_size = size;
        m_changed = now();
        return 0;
    }

private:
    void releaseFrom(std::uint64_t first)
    {
        for (std::uint64_t index = first; index < m_blocks.size(); ++index) {
            if (m_blocks[index] != NoBlock)
                m_medium.release(m_blocks[index]);
        }
        m_blocks.resize(std::min<std::uint64_t>(first, m_blocks.size()));
    }

    Medium& m_medium;
    std::vector<std::uint64_t> m_blocks;
    std::uint64_t m_size = 0;
    mode_t m_mode;
    uid_t m_uid;
    gid_t m_gid;
    timespec m_changed;
};

class CounterfeitFs {
public:
    explicit CounterfeitFs(const Settings& settings)
        : m_medium(settings), m_maxFileSize(settings.advertised), m_rootUid(getuid()),
          m_rootGid(getgid()), m_mounted(now())
    {}

    int getattr(const char* path, struct stat& st, const fuse_file_info* fi)
    {
        std::scoped_lock lock(m_mutex);
        st = {};
        if (fi) {
            m_open.at(fi->fh)->stat(st);
            return 0;
        }
        if (path && std::string_view(path) == "/") {
            st.st_mode = S_IFDIR | 0755;
            st.st_nlink = 2;
            st.st_uid = m_rootUid;
            st.st_gid = m_rootGid;
            st.st_atim = st.st_mtim = st.st_ctim = m_mounted;
            return 0;
        }
        const auto file = m_files.find(nameOf(path));
        if (file == m_files.end())
            return -ENOENT;
        file->second->stat(st);
        return 0;
    }

    int readdir(void* buffer, fuse_fill_dir_t fill)
    {
        std::scoped_lock lock(m_mutex);
        fill(buffer, ".", nullptr, 0, fuse_fill_dir_flags{});
        fill(buffer, "..", nullptr, 0, fuse_fill_dir_flags{});
        for (const auto& [name, inode] : m_files)
            fill(buffer, name.c_str(), nullptr, 0, fuse_fill_dir_flags{});
        return 0;
    }

    int create(const char* path, mode_t mode, fuse_file_info* fi)
    {
        std::scoped_lock lock(m_mutex);
        const std::string name = nameOf(path);
        if (name.empty())
            return -EINVAL;
        if (name.size() > NameMax)
            return -ENAMETOOLONG;
        auto file = m_files.find(name);
        if (file != m_files.end()) {
            if (fi->flags & O_EXCL)
                return -EEXIST;
            if (fi->flags & O_TRUNC)
                file->second->truncate(0, m_maxFileSize);
        } else {
            file = m_files.emplace(name, std::make_shared<Inode>(m_medium, mode)).first;
        }
        openHandle(file->second, fi);
        return 0;
    }

    int open(const char* path, fuse_file_info* fi)
    {
        std::scoped_lock lock(m_mutex);
        const auto file = m_files.find(nameOf(path));
        if (file == m_files.end())
            return -ENOENT;
        if (fi->flags & O_TRUNC)
            file->second->truncate(0, m_maxFileSize);
        openHandle(file->second, fi);
        return 0;
    }

    int read(char* out, std::size_t count, off_t offset, const fuse_file_info* fi)
    {
        std::scoped_lock lock(m_mutex);
        return m_open.at(fi->fh)->read(out, count, static_cast<std::uint64_t>(offset));
    }

    int write(const char* data, std::size_t count, off_t offset, const fuse_file_info* fi)
    {
        std::scoped_lock lock(m_mutex);
        return m_open.at(fi->fh)->write(data, count, static_cast<std::uint64_t>(offset),
                                        m_maxFileSize);
    }

    int truncate(const char* path, off_t size, const fuse_file_info* fi)
    {
        std::scoped_lock lock(m_mutex);
        if (size < 0)
            return -EINVAL;
        if (fi)
            return m_open.at(fi->fh)->truncate(static_cast<std::uint64_t>(size), m_maxFileSize);
        const auto file = m_files.find(nameOf(path));
        if (file == m_files.end())
            return -ENOENT;
        return file->second->truncate(static_cast<std::uint64_t>(size), m_maxFileSize);
    }

    int unlink(const char* path)
    {
        std::scoped_lock lock(m_mutex);
        return m_files.erase(nameOf(path)) == 1 ? 0 : -ENOENT;
    }

    int release(const fuse_file_info* fi)
    {
        std::scoped_lock lock(m_mutex);
        m_open.erase(fi->fh);
        return 0;
    }

    int statfs(struct statvfs& st)
    {
        std::scoped_lock lock(m_mutex);
        st = {};
        st.f_bsize = BlockSize;
        st.f_frsize = BlockSize;
        st.f_blocks = m_medium.totalBlocks();
        st.f_bfree = st.f_bavail = m_medium.freeBlocks();
        st.f_files = m_medium.totalBlocks();
        st.f_ffree = st.f_favail = m_medium.totalBlocks() - m_files.size();
        st.f_namemax = NameMax;
        return 0;
    }

private:
    // The kernel hands over "/NAME" for everything in the root; there is nothing deeper. A file
    // that lost its name is reached through its handle only (no path at all).
    static std::string nameOf(const char* path)
    {
        return path && path[0] == '/' ? std::string(path + 1) : std::string();
    }

    void openHandle(const std::shared_ptr<Inode>& inode, fuse_file_info* fi)
    {
        fi->fh = m_nextHandle++;
        fi->direct_io = 1;
        m_open.emplace(fi->fh, inode);
    }

    std::mutex m_mutex;
    Medium m_medium; // before the files: their blocks go back to it when they die
    std::map<std::string, std::shared_ptr<Inode>> m_files;
    std::map<std::uint64_t, std::shared_ptr<Inode>> m_open;
    std::uint64_t m_nextHandle = 1;
    std::uint64_t m_maxFileSize;
    uid_t m_rootUid;
    gid_t m_rootGid;
    timespec m_mounted;
};

CounterfeitFs& self()
{
    return *static_cast<CounterfeitFs*>(fuse_get_context()->private_data);
}

// No exception may unwind into the FUSE library.
template <typename Call> int guarded(Call call)
{
    try {
        return call(self());
    } catch (const std::bad_alloc&) {
        return -ENOMEM;
    } catch (...) {
        return -EIO;
    }
}

fuse_operations operations()
{
    fuse_operations ops{};
    ops.init = [](fuse_conn_info*, fuse_config* config) -> void* {
        // Names vanish at once on unlink; open handles keep the data, as on any POSIX file
        // system. No attribute caching, so sizes and free space are always current.
        config->hard_remove = 1;
        config->nullpath_ok = 1;
        config->entry_timeout = 0;
        config->attr_timeout = 0;
        config->negative_timeout = 0;
        return fuse_get_context()->private_data;
    };
    ops.getattr = [](const char* path, struct stat* st, fuse_file_info* fi) {
        return guarded([&](CounterfeitFs& fs) { return fs.getattr(path, *st, fi); });
    };
    ops.readdir = [](const char*, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
                     fuse_readdir_flags) {
        return guarded([&](CounterfeitFs& fs) { return fs.readdir(buffer, fill); });
    };
    ops.create = [](const char* path, mode_t mode, fuse_file_info* fi) {
        return guarded([&](CounterfeitFs& fs) { return fs.create(path, mode, fi); });
    };
    ops.open = [](const char* path, fuse_file_info* fi) {
        return guarded([&](CounterfeitFs& fs) { return fs.open(path, fi); });
    };
    ops.read = [](const char*, char* out, std::size_t count, off_t offset, fuse_file_info* fi) {
        return guarded([&](CounterfeitFs& fs) { return fs.read(out, count, offset, fi); });
    };
    ops.write = [](const char*, const char* data, std::size_t count, off_t offset,
                   fuse_file_info* fi) {
        return guarded([&](CounterfeitFs& fs) { return fs.write(data, count, offset, fi); });
    };
    ops.truncate = [](const char* path, off_t size, fuse_file_info* fi) {
        return guarded([&](CounterfeitFs& fs) { return fs.truncate(path, size, fi); });
    };
    ops.unlink = [](const char* path) {
        return guarded([&](CounterfeitFs& fs) { return fs.unlink(path); });
    };
    ops.release = [](const char*, fuse_file_info* fi) {
        return guarded([&](CounterfeitFs& fs) { return fs.release(fi); });
    };
    ops.statfs = [](const char*, struct statvfs* st) {
        return guarded([&](CounterfeitFs& fs) { return fs.statfs(*st); });
    };
    // Everything lives in memory: there is nothing to flush.
    ops.flush = [](const char*, fuse_file_info*) { return 0; };
    ops.fsync = [](const char*, int, fuse_file_info*) { return 0; };
    return ops;
}

std::optional<std::uint64_t> parseSize(std::string_view text)
{
    std::uint64_t value = 0;
    std::size_t digits = 0;
    for (; digits < text.size() && text[digits] >= '0' && text[digits] <= '9'; ++digits) {
        if (value > (std::numeric_limits<std::uint64_t>::max() - 9) / 10)
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(text[digits] - '0');
    }
    if (digits == 0 || text.size() > digits + 1)
        return std::nullopt;
    int shift = 0;
    if (text.size() == digits + 1) {
        switch (text[digits]) {
        case 'K':
            shift = 10;
            break;
        case 'M':
            shift = 20;
            break;
        case 'G':
            shift = 30;
            break;
        default:
            return std::nullopt;
        }
    }
    if (value > (std::numeric_limits<std::uint64_t>::max() >> shift))
        return std::nullopt;
    value <<= shift;
    if (value == 0 || value % BlockSize != 0)
        return std::nullopt;
    return value;
}

enum OptionKey { Advertised, Real, Help };

const fuse_opt OptionSpecs[] = {
    FUSE_OPT_KEY("--advertised=", Advertised),
    FUSE_OPT_KEY("--real=", Real),
    FUSE_OPT_KEY("-h", Help),
    FUSE_OPT_KEY("--help", Help),
    FUSE_OPT_END,
};

int takeOption(void* data, const char* arg, int key, fuse_args*)
{
    Settings& settings = *static_cast<Settings*>(data);
    if (key == Help) {
        std::printf("usage: counterfeitfs [--advertised=SIZE] [--real=SIZE] [FUSE options] "
                    "MOUNTPOINT\n"
                    "SIZE: bytes with K, M or G, a multiple of 4096\n\n");
        return 1; // FUSE adds its own options
    }
    if (key != Advertised && key != Real)
        return 1;
    const std::string_view text(arg);
    const std::optional<std::uint64_t> size = parseSize(text.substr(text.find('=') + 1));
    if (!size) {
        std::fprintf(stderr, "counterfeitfs: not a size in 4096-byte blocks: %s\n", arg);
        settings.valid = false;
        return 0;
    }
    if (key == Advertised)
        settings.advertised = *size;
    else
        settings.real = *size;
    return 0;
}

struct Arguments {
    fuse_args args;
    explicit Arguments(int argc, char** argv) : args(FUSE_ARGS_INIT(argc, argv)) {}
    ~Arguments() { fuse_opt_free_args(&args); }
    Arguments(const Arguments&) = delete;
    Arguments& operator=(const Arguments&) = delete;
};

} // namespace

int main(int argc, char** argv)
{
    Arguments arguments(argc, argv);
    Settings settings;
    if (fuse_opt_parse(&arguments.args, &settings, OptionSpecs, takeOption) != 0 || !settings.valid)
        return 2;
    if (settings.real > settings.advertised) {
        std::fprintf(stderr, "counterfeitfs: the real capacity exceeds the advertised one\n");
        return 2;
    }
    // Every call takes one lock anyway; a few threads are plenty (and without a limit this
    // libfuse warns about its own default).
    if (fuse_opt_add_arg(&arguments.args, "-omax_threads=4,max_idle_threads=4") != 0)
        return 1;
    try {
        CounterfeitFs fs(settings);
        const fuse_operations ops = operations();
        return fuse_main(arguments.args.argc, arguments.args.argv, &ops, &fs);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "counterfeitfs: no memory for %llu bytes of storage\n",
                     static_cast<unsigned long long>(settings.real));
        return 1;
    }
}
