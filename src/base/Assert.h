// Fatal internal checks.
//
// LX_ASSERT(cond, "text") guards the invariants and preconditions of the core
// containers (a no-key value used as a key, a negative array offset, a failed
// allocation, ...).  A violation cannot be recovered from, so the check stays
// active in every build, NDEBUG or not: it prints
//
//     <source file name>:<line>: Assertion `<text>' failed.
//
// on stderr and aborts.  The text is given explicitly rather than stringified
// from the condition so that the message stays the same whatever the exact
// spelling of the test in the code.
#ifndef LX_BASE_ASSERT_H
#define LX_BASE_ASSERT_H

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace lx_detail {

// Reports a failed LX_ASSERT and ends the process.  Kept out of line and cold
// so that the checks cost one well-predicted branch on the fast paths.
[[noreturn]] __attribute__((noinline, cold)) inline void assert_fail(const char* text,
                                                                     const char* file,
                                                                     int line) {
  // __FILE__ may be a full build path; messages name only the source file.
  const char* slash = std::strrchr(file, '/');
  const char* name = slash ? slash + 1 : file;
  std::fprintf(stderr, "%s:%d: Assertion `%s' failed.\n", name, line, text);
  std::fflush(stderr);
  std::abort();
}

}  // namespace lx_detail

#define LX_ASSERT(cond, text) \
  (__builtin_expect(!!(cond), 1) ? (void)0 : ::lx_detail::assert_fail((text), __FILE__, __LINE__))

#endif  // LX_BASE_ASSERT_H
