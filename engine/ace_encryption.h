// Access 2007 and later files encrypted with a password: the header page says how the other pages
// are encrypted and holds a verifier of the password; every page after it is encrypted with a key
// (or key and IV) made from the password and the page's number.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace engine {

// If bytes (a whole file in memory; path names it in errors) are an Access 2007+ file whose pages
// are encrypted, checks password (UTF-8) against the file's verifier, decrypts every page after
// the header page in place, once, and clears the header's encryption marks so that the bytes read
// as an unencrypted file. Any other bytes are left as they are. Throws OpenError: "no password
// given" (OpenProblem::PasswordNeeded), "wrong password" (OpenProblem::WrongPassword),
// "damaged: ..." with the byte where the header is wrong, or "an encryption Dualyn cannot read:
// ..." naming the scheme.
//
//     decryptAceFile(path, bytes, "1234");  // bytes now hold the plain pages
void decryptAceFile(const std::string& path, std::span<std::uint8_t> bytes, const std::string& password);

}  // namespace engine
