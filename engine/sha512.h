// SHA-512 of a stream of bytes, from OpenSSL's libcrypto where the build has it.
#pragma once

#include <memory>
#include <span>
#include <string>

namespace quenvarith::engine {

class Sha512Digest {
 public:
  // Whether this build has the library; without it, a digest hashes nothing.
  static bool available();

  Sha512Digest();
  Sha512Digest(const Sha512Digest&) = delete;
  Sha512Digest& operator=(const Sha512Digest&) = delete;
  Sha512Digest(Sha512Digest&&) = delete;
  Sha512Digest& operator=(Sha512Digest&&) = delete;
  ~Sha512Digest();

  void update(std::span<const char> bytes);
  // The digest of every byte given, as 128 lowercase hexadecimal digits; empty on failure.
  std::string finishHex();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace quenvarith::engine
