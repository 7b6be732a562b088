#pragma once

// SHA-256 through OpenSSL, which uses the processor's own instructions where
// it has them: a year of records as text is some 370 MB, and a portable
// hash of it would take longer than the rest of the report together.

#include <cstddef>
#include <memory>
#include <string>

class TSha256 {
public:
  TSha256();
  ~TSha256();
  TSha256(const TSha256 &) = delete;
  TSha256 &operator=(const TSha256 &) = delete;

  void Add(const char *data, std::size_t size);
  void Add(const std::string &text) { Add(text.data(), text.size()); }
  // The digest of everything added, in lower-case hex. Ends the hash.
  std::string Hex();

private:
  struct TContext;
  std::unique_ptr<TContext> Context_;
};
