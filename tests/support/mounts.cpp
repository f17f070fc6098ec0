#include "tests/support/mounts.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <chrono>
#include <thread>

namespace kelvara::testing {

CommandResult RunCommand(const std::vector<std::string>& command, const std::string& workingFolder) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!workingFolder.empty()) process.setWorkingDirectory(QString::fromStdString(workingFolder));
    QStringList arguments;
    for (std::size_t i = 1; i < command.size(); ++i) arguments << QString::fromStdString(command[i]);
    process.start(QString::fromStdString(command.at(0)), arguments);
    if (!process.waitForFinished(60000)) return {-1, command[0] + " did not finish"};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAll().trimmed().toStdString()};
}

LoopDevice::LoopDevice(const std::string& file, Options options) {
    std::vector<std::string> command{"losetup", "-f", "--show"};
    if (options.readOnly) command.push_back("-r");
    if (options.partitions) command.push_back("-P");
    if (options.offset) command.insert(command.end(), {"-o", std::to_string(options.offset)});
    if (options.sizeLimit) command.insert(command.end(), {"--sizelimit", std::to_string(options.sizeLimit)});
    if (options.sectorSize) command.insert(command.end(), {"--sector-size", std::to_string(options.sectorSize)});
    command.push_back(file);
    const CommandResult result = RunCommand(command);
    if (result.status == 0) device_ = result.output;
    else refusal_ = result.output;
}

LoopDevice::~LoopDevice() {
    if (!device_.empty()) RunCommand({"losetup", "-d", device_});
}

Mount::Mount(const std::vector<std::string>& command, const std::string& dir, const std::string& workingFolder)
    : dir_(dir) {
    struct stat before {};
    if (::stat(dir.c_str(), &before) != 0) {
        refusal_ = dir + " is not there";
        return;
    }
    const CommandResult result = RunCommand(command, workingFolder);
    if (result.status != 0) {
        refusal_ = result.output;
        return;
    }
    // A FUSE program returns once it has forked: wait until the folder is the mounted file system.
    for (int tries = 0; tries < 250; ++tries) {
        struct stat now {};
        if (::stat(dir.c_str(), &now) == 0 && now.st_dev != before.st_dev) {
            mounted_ = true;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    refusal_ = dir + " did not become a mount";
    RunCommand({"umount", "-l", dir});
}

Mount::~Mount() {
    if (!mounted_) return;
    if (RunCommand({"umount", dir_}).status != 0) RunCommand({"umount", "-l", dir_});
}

FuseFatMount::FuseFatMount(const std::string& image, const std::string& dir) : dir_(dir) {
    if (::geteuid() != 0) return;
    ::mkdir(dir.c_str(), 0755);
    mount_.emplace(std::vector<std::string>{"fusefat", "-o", "rw+", image, dir}, dir);
}

}  // namespace kelvara::testing
