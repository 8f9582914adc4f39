// Facts about the running program and its files.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace tarvo::platform {

// Full path of the running executable ("" when unknown).
std::string ExecutablePath();
// Folder of the running executable, with a trailing '/'.
std::string ExecutableDir();
bool SetCurrentDir(const std::string& dir);
std::string CurrentDir();
// Modification time of a file; false when it cannot be read.
bool FileModificationTime(const std::string& path, std::time_t* out);
bool IsDirectoryWritable(const std::string& dir);
bool IsFileWritable(const std::string& path);
bool MakeDirectories(const std::string& dir);
std::string EnvironmentVariable(const char* name);
// The user's folder for settings, without a trailing separator:
// $XDG_CONFIG_HOME, else ~/.config on POSIX; %APPDATA% on Windows.
std::string UserConfigDir();
// True where file names compare without case (Windows), so a path may be
// written in one case throughout.
bool PathsIgnoreCase();
// True when the standard stream (0, 1 or 2) is a terminal.
bool IsTerminal(int stream);
// Reads a line from the terminal without echoing it (for access codes).
bool ReadHiddenLine(std::string* out);

}  // namespace tarvo::platform
