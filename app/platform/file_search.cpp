#include "app/platform/file_search.h"

#include <algorithm>

namespace kova {
namespace {

unsigned char Lower(char c) {
  auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

std::vector<std::string> SplitMasks(const std::string& masks) {
  std::vector<std::string> result;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = masks.find(';', start);
    std::string mask =
        masks.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!mask.empty()) result.push_back(mask);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return result;
}

}  // namespace

bool MatchesMask(const std::string& name, const std::string& mask) {
  // Greedy matching with one backtrack point: the last "*" seen.
  std::size_t n = 0;
  std::size_t m = 0;
  std::size_t star = std::string::npos;
  std::size_t star_name = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      star = m++;
      star_name = n;
    } else if (m < mask.size() && (mask[m] == '?' || Lower(mask[m]) == Lower(name[n]))) {
      ++m;
      ++n;
    } else if (star != std::string::npos) {
      m = star + 1;
      n = ++star_name;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

bool FileNameLess(const std::string& a, const std::string& b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    if (Lower(a[i]) != Lower(b[i])) return Lower(a[i]) < Lower(b[i]);
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

std::vector<std::string> MatchingFiles(const std::vector<std::string>& files,
                                       const std::string& masks) {
  std::vector<std::string> matches;
  for (const std::string& mask : SplitMasks(masks)) {
    for (const std::string& name : files) {
      if (MatchesMask(name, mask)) matches.push_back(name);
    }
  }
  std::sort(matches.begin(), matches.end(), FileNameLess);
  return matches;
}

}  // namespace kova
