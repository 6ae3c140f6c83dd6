// Every file that preview, export and template write goes through here: the
// bytes are written to a fresh file beside the target, flushed to disk and
// then put in the target's place, so the target appears whole or not at all.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace kova {

// Writes `bytes` as the file `path`. Refuses (KovaError naming both) when
// `path` is the same file as one of `keep`, the files the output is made
// from. A failed write, flush, close or rename raises its FileError naming
// `path`; the target then keeps what it held before.
void WriteWholeFile(const std::string& path, std::string_view bytes,
                    std::initializer_list<std::string> keep = {});

// True when both names lead to one existing file.
bool IsSameFile(const std::string& a, const std::string& b);

}  // namespace kova
