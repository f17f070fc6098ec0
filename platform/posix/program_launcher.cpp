#include "platform/posix/program_launcher.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/posix/posix_errors.h"

extern char** environ;

namespace kelvara {
namespace {

// Frees the spawn attributes and file actions however the start ends.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
};

}  // namespace

bool LaunchDetached(const std::string& posixPath, DWORD& error) {
    struct stat info {};
    if (::stat(posixPath.c_str(), &info) != 0) {
        error = errno == ENOENT ? Win32ErrorForMissing(posixPath) : Win32ErrorFromErrno(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode) || ::access(posixPath.c_str(), X_OK) != 0) {
        error = ERROR_ACCESS_DENIED;
        return false;
    }

    SpawnSetup setup;
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    // A session of its own: closing our terminal or pressing Ctrl+C there does not end it.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setsigdefault(&setup.attributes, &all);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t child = 0;
    char* argv[] = {const_cast<char*>(posixPath.c_str()), nullptr};
    const int result = ::posix_spawn(&child, posixPath.c_str(), &setup.actions, &setup.attributes, argv, environ);
    if (result != 0) {
        error = Win32ErrorFromErrno(result);
        return false;
    }
    // Someone must collect its exit status, or it stays behind as a zombie until we end.
    std::thread([child] {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

}  // namespace kelvara
