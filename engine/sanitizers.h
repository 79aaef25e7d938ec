// Whether this build runs with AddressSanitizer, under GCC or clang.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define DUALYN_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DUALYN_ADDRESS_SANITIZER 1
#endif
#endif
