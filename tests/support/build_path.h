#pragma once
// Where a suite finds the programs and data files it uses: paths relative to the suite's own
// executable, resolved when first asked for. Keeping the build tree's absolute path out of the
// compile command makes it the same in every clone, so the compiler cache serves a fresh clone.
// CMake's ac_program_paths() defines the macros (ROBOT_SIM, PORT_TOOL, ...) as calls of this.
#include <climits>
#include <map>
#include <mutex>
#include <string>
#include <unistd.h>

inline const char* ac_build_path(const char* relative_to_executable)
{
    static std::mutex lock;
    static std::map<std::string, std::string> resolved;  // nodes stay put: c_str() stays valid
    std::lock_guard<std::mutex> hold(lock);
    auto found = resolved.find(relative_to_executable);
    if (found == resolved.end()) {
        char self[PATH_MAX];
        const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
        std::string directory = length > 0 ? std::string(self, static_cast<size_t>(length)) : "./x";
        directory.erase(directory.rfind('/'));
        found = resolved.emplace(relative_to_executable, directory + "/" + relative_to_executable).first;
    }
    return found->second.c_str();
}
