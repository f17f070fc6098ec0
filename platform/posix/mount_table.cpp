#include "platform/posix/mount_table.h"

#include <fstream>
#include <sstream>

namespace kelvara {
namespace {

// mountinfo writes space, tab, newline and backslash in paths as \ and three octal digits.
std::string Unescape(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string::npos) {
                out += static_cast<char>(std::stoi(digits, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

}  // namespace

std::vector<MountEntry> ReadMountTable(const std::string& mountinfoPath) {
    std::vector<MountEntry> table;
    std::ifstream in(mountinfoPath);
    std::string line;
    while (std::getline(in, line)) {
        // id parent major:minor root mount-point options [optional fields...] - type source super
        std::istringstream fields(line);
        std::string id, parent, devNumber, root, mountPoint, options, word;
        if (!(fields >> id >> parent >> devNumber >> root >> mountPoint >> options)) continue;
        while (fields >> word && word != "-") {
        }
        std::string type, source, superOptions;
        if (word != "-" || !(fields >> type >> source)) continue;
        fields >> superOptions;
        table.push_back({devNumber, Unescape(root), Unescape(mountPoint), Unescape(source), type, superOptions});
    }
    return table;
}

std::vector<std::string> SuperOptionValues(const MountEntry& entry, const std::string& name) {
    // A comma inside a value is escaped like a space, so the options split at every comma.
    std::vector<std::string> values;
    std::istringstream options(entry.superOptions);
    std::string option;
    while (std::getline(options, option, ','))
        if (option.size() > name.size() && option.compare(0, name.size(), name) == 0 && option[name.size()] == '=')
            values.push_back(Unescape(option.substr(name.size() + 1)));
    return values;
}

std::string FindMountPoint(const std::vector<MountEntry>& table, const std::string& devNumber,
                           const std::string& source) {
    for (const MountEntry& entry : table) {
        if (entry.root != "/") continue;  // a bind mount of one folder is not the volume's root
        if ((!devNumber.empty() && entry.devNumber == devNumber) || (!source.empty() && entry.source == source))
            return entry.mountPoint;
    }
    return {};
}

}  // namespace kelvara
