// The run's temporary files: made beside their final names, tracked so that
// every end of a run, an interrupt's included, removes them.
#include "tools/capture/publish.h"

#include <fcntl.h>
#include <stdint.h>
#include <time.h>
#include <sys/random.h>
#include <unistd.h>
#include <mutex>
#include <string>
#include <vector>

// A temporary is removed through the directory it was made in, held open:
// that directory may be renamed while the run goes on, and the name the run
// was given would then miss it (or name another one).
struct Temporary {
    std::string path;
    int dir;
    std::string name;
};

// The list and the encoder are also reached from the interrupt watch's
// thread, which may clean up while the run is stuck elsewhere, and from the
// end of a run that failed to allocate while holding this lock: recursive.
static std::recursive_mutex temporariesLock;
static std::vector<Temporary> temporaries;

void Untrack(const std::string& path, bool remove)
{
    std::lock_guard<std::recursive_mutex> lock(temporariesLock);
    for (size_t i = 0; i < temporaries.size(); i++)
        if (temporaries[i].path == path) {
            if (remove)
                unlinkat(temporaries[i].dir, temporaries[i].name.c_str(), 0);
            close(temporaries[i].dir);
            temporaries.erase(temporaries.begin() + (long)i);
            return;
        }
}

// Six random letters or digits: the same name space as mkstemp's.
static std::string RandomName()
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[6];
    if (getrandom(bytes, sizeof bytes, 0) != (ssize_t)sizeof bytes) {
        uint64_t mix = (uint64_t)getpid() * 0x9E3779B97F4A7C15ull ^ (uint64_t)clock();
        for (unsigned char& b : bytes) {
            mix = mix * 6364136223846793005ull + 1442695040888963407ull;
            b = (unsigned char)(mix >> 56);
        }
    }
    std::string name = ".brinelux-";
    for (unsigned char b : bytes)
        name += letters[b % (sizeof letters - 1)];
    return name;
}

bool MakeTemporary(const std::string& dir, std::string* path, std::string* why)
{
    int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        *why = Reason(errno);
        return false;
    }
    // Short and fixed in length: any final name that fits the file system
    // has a temporary that fits too.
    std::string name;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; attempt++) {
        name = RandomName();
        fd = openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        *why = Reason(errno);
        close(dirFd);
        return false;
    }
    close(fd);
    *path = dir + "/" + name;
    std::lock_guard<std::recursive_mutex> lock(temporariesLock);
    temporaries.push_back({*path, dirFd, name});
    return true;
}

bool CanWriteIn(const std::string& dir, std::string* why)
{
    std::string probe;
    if (!MakeTemporary(dir, &probe, why))
        return false;
    Untrack(probe, true);
    return true;
}

void RemoveTemporaries(void)
{
    std::lock_guard<std::recursive_mutex> lock(temporariesLock);
    for (const Temporary& t : temporaries) {
        unlinkat(t.dir, t.name.c_str(), 0);
        close(t.dir);
    }
    temporaries.clear();
}

