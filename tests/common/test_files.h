#pragma once

// Files as the tests read them, and the Python checks some tests run on them.

#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

// Every byte, as written.
inline std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs `script` under /usr/bin/python3 (where Debian's openpyxl loads) with
// `args`; empty when it exits 0, else what it said.
template <typename... Args>
std::string Python(const std::string &script, const Args &...args) {
  QTemporaryDir dir;
  const std::string file = dir.filePath("check.py").toStdString();
  std::ofstream(file) << script;
  std::string command = "/usr/bin/python3 '" + file + "'";
  ((command += " '" + std::string(args) + "'"), ...);
  std::string output;
  FILE *p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return "no python";
  char buf[512];
  while (fgets(buf, sizeof buf, p)) output += buf;
  return pclose(p) == 0 ? "" : (output.empty() ? "python failed" : output);
}
