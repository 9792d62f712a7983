// Repetition: RE2's own operators where its limits allow, otherwise copies of the body in
// chunks that RE2 accepts.
#include "elements/regex_repeat.hpp"

#include "elements/regex_adapter.hpp"
#include "elements/regex_ast.hpp"
#include "elements/regex_tables.hpp"

namespace vantorel::regex {

namespace {

constexpr uint64_t kMaxLazyNesting = 2000;
constexpr uint64_t kOptionalCopyCost = 32;

// A lower bound on RE2's instructions for x{min,max} (or x{min,}) when x needs `body` at
// least: RE2 makes a copy of x per count, and each optional copy or loop adds a branch.
uint64_t repetition_insts(uint64_t body, uint32_t min, uint32_t max, bool unbounded) {
  if (body == 0) return 0;
  if (unbounded) return saturating_add(saturating_mul(std::max<uint32_t>(min, 1), body), 1);
  return saturating_add(saturating_mul(min, body), saturating_mul(uint64_t{max} - min, saturating_add(body, 1)));
}

// x{min} followed by `optional` optional copies of x chained, each tried before the ones
// after it: (?:x?){k} (or lazily (?:x??){k}). When every match of x has one length, each
// count of copies reaches one position, and the chain prefers the counts in the order that
// x{min,min+k} prefers them (most first, or fewest first when lazy), so it matches exactly
// as that repetition does. Counts up to 1000 each.
std::string optional_copies(const std::string& atom, uint64_t min, uint64_t optional, bool greedy) {
  std::string text;
  if (min == 1) {
    text = atom;
  } else if (min > 1) {
    text = atom + "{" + std::to_string(min) + "}";
  }
  if (optional == 1) return text + atom + (greedy ? "?" : "??");
  return text + "(?:" + atom + (greedy ? "?" : "??") + "){" + std::to_string(optional) + "}";
}

// Counted repetition beyond RE2's limits: copies in chunks that RE2 accepts. The optional
// part chains greedy blocks. A lazy optional part chains lazy blocks too when every match of
// the body has one length (each count then reaches one position, so the blocks try the
// counts in the same order); for other bodies chaining would change which match is
// preferred, so lazy copies nest, up to kMaxLazyNesting levels (RE2 handles deep nesting in
// quadratic time); copies beyond that are chained, an approximation. The program size is
// estimated first, so no oversized text is ever generated.
void expand(RepeatedText& out, const std::string& b, uint32_t body_product, uint64_t body_insts, bool fixed_width,
            uint32_t min, uint32_t max, bool unbounded, bool greedy) {
  // RE2's compile time grows with the square of the number of optional items, so an
  // optional copy counts at least kOptionalCopyCost instructions: at most about 10000 of
  // them, compiled in well under a second.
  const uint64_t optional = unbounded ? 1 : uint64_t{max} - min;
  auto estimate_with = [&](uint64_t per_copy) {
    return saturating_add(saturating_mul(min, per_copy), saturating_mul(optional, std::max(per_copy, kOptionalCopyCost)));
  };
  // The body's own lower bound decides first, without compiling it: nested counts refuse
  // at the first level that is certain to pass the limit.
  if (estimate_with(std::max<uint64_t>(1, body_insts)) > kMaxProgramSize) {
    out.size_exceeded = true;
    return;
  }
  const uint64_t base = re2_base_program_size();
  const uint64_t one = re2_program_size(b);
  const uint64_t per_copy = std::max<uint64_t>(1, one > base ? one - base : 1);
  if (estimate_with(per_copy) > kMaxProgramSize) {
    out.size_exceeded = true;
    return;
  }
  const uint32_t k = std::max<uint32_t>(1, 1000 / std::max<uint32_t>(1, body_product));
  auto chunk = [&](uint64_t count, bool may_skip) {
    if (count == 1) return may_skip ? b + "?" : b;
    return b + (may_skip ? "{0," : "{") + std::to_string(count) + "}";
  };
  // Chained optional blocks of a body of one length: chained optional copies within them.
  auto optional_chunk = [&](uint64_t count) {
    if (fixed_width) return optional_copies(b, 0, count, greedy);
    return chunk(count, true) + (greedy ? "" : "?");
  };
  std::string text;
  for (uint64_t left = min; left > 0;) {
    const uint64_t c = std::min<uint64_t>(left, k);
    text += chunk(c, false);
    left -= c;
  }
  if (unbounded) {
    text += b + "*" + (greedy ? "" : "?");
  } else if (max > min) {
    const uint64_t extra = uint64_t{max} - min;
    const std::string lazy = greedy ? "" : "?";
    const uint64_t nested_copies = (greedy || fixed_width) ? 0 : std::min<uint64_t>(extra, kMaxLazyNesting + k);
    for (uint64_t left = extra - nested_copies; left > 0;) {
      const uint64_t c = std::min<uint64_t>(left, k);
      text += optional_chunk(c);
      left -= c;
    }
    if (nested_copies > 0) {
      const uint64_t inner = std::min<uint64_t>(nested_copies, k);
      const uint64_t depth = nested_copies - inner;
      std::string nested;
      nested.reserve(depth * (b.size() + 6) + b.size() + 16);
      for (uint64_t d = 0; d < depth; ++d) nested += "(?:" + b;
      nested += chunk(inner, true) + "?";
      for (uint64_t d = 0; d < depth; ++d) nested += ")??";
      text += nested;
    }
  }
  out.text = std::move(text);
  out.chained = true;
  out.product = static_cast<uint32_t>(std::min<uint64_t>(1000, uint64_t{body_product} * k));
}

// The RE2 instructions that one copy of `atom` adds to a program, when its copies might pass
// the size limit: its own program size less that of the empty program (each copy compiles
// to instructions of its own, so this many per copy at least). Only an atom whose text,
// times the counts inside it (`product`) and the copies, is long is measured, by one
// compile of the atom alone; otherwise `insts`, the bound known so far, stands.
uint64_t measured_copy_insts(const std::string& atom, uint32_t product, uint64_t insts, uint64_t copies) {
  if (saturating_mul(saturating_mul(copies, product), atom.size()) <= kMaxProgramSize) return insts;
  const uint64_t base = re2_base_program_size();
  const uint64_t one = re2_program_size(atom);
  return one > base ? std::max(insts, one - base) : insts;
}

}  // namespace

RepeatedText repeat(const std::string& atom, uint32_t product, uint64_t insts, bool fixed_width, uint32_t min,
                    uint32_t max, bool unbounded, bool greedy) {
  const std::string lazy = greedy ? "" : "?";
  RepeatedText out;
  out.product = product;
  // A long body repeated many times is measured, so that copies RE2 would build past the
  // size limit are refused here, before their program is compiled.
  if (min > 1 || (!unbounded && max > 1)) insts = measured_copy_insts(atom, product, insts, unbounded ? min : max);
  out.insts = repetition_insts(insts, min, max, unbounded);
  if (out.insts > kMaxProgramSize) {
    out.size_exceeded = true;
    return out;
  }
  if (unbounded && min == 0) {
    out.text = atom + "*" + lazy;
    return out;
  }
  if (unbounded && min == 1) {
    out.text = atom + "+" + lazy;
    return out;
  }
  if (!unbounded && min == 0 && max == 1) {
    out.text = atom + "?" + lazy;
    return out;
  }
  const uint64_t top = unbounded ? min : max;
  if (top <= 1000 && uint64_t{product} * top <= 1000 && !unbounded && fixed_width && max - min >= 2) {
    // The optional copies chained, (?:x?){k}, rather than RE2's own x{0,k}, which it nests
    // k levels deep and compiles several times slower into a program of the same size.
    out.text = optional_copies(atom, min, max - min, greedy);
    out.chained = min > 0;
    out.product = static_cast<uint32_t>(product * top);
    return out;
  }
  if (top <= 1000 && uint64_t{product} * top <= 1000) {
    out.text = atom + "{" + std::to_string(min);
    if (unbounded) {
      out.text += ",";
    } else if (max != min) {
      out.text += "," + std::to_string(max);
    }
    out.text += "}" + lazy;
    out.product = static_cast<uint32_t>(product * std::max<uint64_t>(top, 1));
    return out;
  }
  expand(out, atom, product, insts, fixed_width, min, max, unbounded, greedy);
  return out;
}

}  // namespace vantorel::regex
