#pragma once

// Tests never touch the user's own settings, history archive or its queue:
// a test program that could reach them (a download is archived as soon as it
// is decoded) points the configuration, data and state folders at a folder
// of its own, made when the program starts and removed when it ends.
// TALVEX_DB from the caller's shell would lead there too: it goes.

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

class TPrivateFolders {
public:
  TPrivateFolders() {
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/talvex-prueba-XXXXXX";
    if (!::mkdtemp(pattern.data())) std::abort();
    folder_ = pattern;
    ::setenv("XDG_CONFIG_HOME", (folder_ + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (folder_ + "/data").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (folder_ + "/state").c_str(), 1);
    ::unsetenv("TALVEX_DB");
  }
  ~TPrivateFolders() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  TPrivateFolders(const TPrivateFolders &) = delete;
  TPrivateFolders &operator=(const TPrivateFolders &) = delete;

  const std::string &Folder() const { return folder_; }

private:
  std::string folder_;
};
