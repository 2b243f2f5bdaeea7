#include "engine/sha512.h"

#if defined(QUENVARITH_HAVE_LIBCRYPTO)
#include <openssl/evp.h>

#include <array>
#include <string_view>
#endif

namespace quenvarith::engine {

#if defined(QUENVARITH_HAVE_LIBCRYPTO)

struct Sha512Digest::State {
  struct ContextFree {
    void operator()(EVP_MD_CTX* digestContext) const { EVP_MD_CTX_free(digestContext); }
  };
  std::unique_ptr<EVP_MD_CTX, ContextFree> context{EVP_MD_CTX_new()};
  bool ok = false;
};

bool Sha512Digest::available() {
  return true;
}

Sha512Digest::Sha512Digest() : state_(std::make_unique<State>()) {
  state_->ok = state_->context != nullptr &&
               EVP_DigestInit_ex(state_->context.get(), EVP_sha512(), nullptr) == 1;
}

void Sha512Digest::update(std::span<const char> bytes) {
  if (state_->ok && !bytes.empty()) {
    state_->ok = EVP_DigestUpdate(state_->context.get(), bytes.data(), bytes.size()) == 1;
  }
}

std::string Sha512Digest::finishHex() {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  if (!state_->ok || EVP_DigestFinal_ex(state_->context.get(), digest.data(), &length) != 1) {
    state_->ok = false;
    return {};
  }
  state_->ok = false;
  constexpr std::string_view kDigits = "0123456789abcdef";
  constexpr unsigned kNibble = 4;
  constexpr unsigned kLowNibble = 0x0f;
  std::string hex;
  for (unsigned i = 0; i < length; ++i) {
    hex += kDigits[digest[i] >> kNibble];
    hex += kDigits[digest[i] & kLowNibble];
  }
  return hex;
}

#else

struct Sha512Digest::State {};

bool Sha512Digest::available() {
  return false;
}

Sha512Digest::Sha512Digest() = default;

void Sha512Digest::update(std::span<const char> /*bytes*/) {}

std::string Sha512Digest::finishHex() {
  return {};
}

#endif

Sha512Digest::~Sha512Digest() = default;

}  // namespace quenvarith::engine
