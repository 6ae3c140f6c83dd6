// The instruction-set tiers that the fast kernels are written for, and the
// one place that asks the processor which it has. The kernels of a tier are
// compiled with that tier's flags in sources of their own; the code that
// calls them is compiled for the baseline and asks ActiveCpuTier() first.
#pragma once

#include <atomic>
#include <vector>

namespace kova {

// Each tier includes the ones below it.
enum class CpuTier {
  kBaseline,  // SSE2 on x86 (the x86-64 baseline; -msse2 for 32-bit builds)
  kSsse3,     // byte shuffles: two grid numbers at once
  kAvx2,      // AVX2 with BMI and BMI2: four grid numbers, four doubles at once
};

// The highest tier this processor has, checked once.
inline CpuTier ProcessorCpuTier() {
#if defined(__i386__) || defined(__x86_64__)
  static const CpuTier kTier = [] {
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
        __builtin_cpu_supports("bmi2")) {
      return CpuTier::kAvx2;
    }
    return __builtin_cpu_supports("ssse3") ? CpuTier::kSsse3 : CpuTier::kBaseline;
  }();
  return kTier;
#else
  return CpuTier::kBaseline;
#endif
}

namespace cpu_tier_detail {
// The highest tier the kernels may use; lowered only by CpuTierLimit.
inline std::atomic<CpuTier> limit{CpuTier::kAvx2};
}  // namespace cpu_tier_detail

// The tier the kernels take: the processor's, unless a CpuTierLimit holds
// it lower.
inline CpuTier ActiveCpuTier() {
  const CpuTier limit = cpu_tier_detail::limit.load(std::memory_order_relaxed);
  const CpuTier processor = ProcessorCpuTier();
  return limit < processor ? limit : processor;
}

// Every tier this processor has, from the baseline up: what tests run each
// kernel on.
inline std::vector<CpuTier> AvailableCpuTiers() {
  std::vector<CpuTier> tiers;
  for (int t = 0; t <= static_cast<int>(ProcessorCpuTier()); ++t) {
    tiers.push_back(static_cast<CpuTier>(t));
  }
  return tiers;
}

inline const char* CpuTierName(CpuTier tier) {
  switch (tier) {
    case CpuTier::kBaseline:
      return "Baseline";
    case CpuTier::kSsse3:
      return "Ssse3";
    case CpuTier::kAvx2:
      return "Avx2";
  }
  return "?";
}

// Holds the kernels at `tier` or below while it lives, so that tests and
// benchmarks reach the lower tiers on any processor.
class CpuTierLimit {
 public:
  explicit CpuTierLimit(CpuTier tier) : saved_(cpu_tier_detail::limit.exchange(tier)) {}
  ~CpuTierLimit() { cpu_tier_detail::limit.store(saved_); }
  CpuTierLimit(const CpuTierLimit&) = delete;
  CpuTierLimit& operator=(const CpuTierLimit&) = delete;

 private:
  CpuTier saved_;
};

}  // namespace kova
