// A password's text wiped from memory when the guard goes, however its scope is left: by the
// end of the block, a return or an exception.
//
//     std::string password = readPassword();
//     engine::ClearedSecret clearing(password);   // password's bytes are zeros after the block
#pragma once

#include <cstring>
#include <string>

namespace engine {

class ClearedSecret {
public:
    explicit ClearedSecret(std::string& text) : text_(text) {}
    ~ClearedSecret() { ::explicit_bzero(text_.data(), text_.size()); }
    ClearedSecret(const ClearedSecret&) = delete;
    ClearedSecret& operator=(const ClearedSecret&) = delete;

private:
    std::string& text_;
};

}  // namespace engine
