#include "report/sha256.h"

#include "runtime/exceptions.h"

#include <openssl/evp.h>

struct TSha256::TContext {
  EVP_MD_CTX *Md = nullptr;
  ~TContext() { EVP_MD_CTX_free(Md); }
};

TSha256::TSha256() : Context_(std::make_unique<TContext>()) {
  Context_->Md = EVP_MD_CTX_new();
  if (!Context_->Md || EVP_DigestInit_ex(Context_->Md, EVP_sha256(), nullptr) != 1)
    throw Exception("No se pudo preparar el cálculo SHA-256.");
}

TSha256::~TSha256() = default;

void TSha256::Add(const char *data, std::size_t size) {
  if (size && EVP_DigestUpdate(Context_->Md, data, size) != 1)
    throw Exception("No se pudo calcular el SHA-256 de los registros.");
}

std::string TSha256::Hex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(Context_->Md, digest, &length) != 1)
    throw Exception("No se pudo calcular el SHA-256 de los registros.");
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    hex += digits[digest[i] >> 4];
    hex += digits[digest[i] & 15];
  }
  return hex;
}
