#include "RoleTrain.h"

#include <algorithm>
#include <utility>

namespace lxtrain {

namespace {

// Index of the path word that starts at byte `pos`, or -1.
long WordAt(const std::vector<PathSpan>& path, uint32_t pos) {
  auto it = std::lower_bound(path.begin(), path.end(), pos,
                             [](const PathSpan& w, uint32_t p) { return w.begin < p; });
  return (it != path.end() && it->begin == pos) ? it - path.begin() : -1;
}

// Index of the path word that contains byte `pos`, or -1.
long WordCovering(const std::vector<PathSpan>& path, uint32_t pos) {
  auto it = std::upper_bound(path.begin(), path.end(), pos,
                             [](uint32_t p, const PathSpan& w) { return p < w.begin; });
  if (it == path.begin()) return -1;
  --it;
  return (pos < it->end) ? it - path.begin() : -1;
}

// The roles of one Chinese name's words, or false when the path cuts the
// name in a way no role describes.
bool ChineseNameRoles(const std::vector<PathSpan>& path, const GoldName& n,
                      std::vector<std::pair<long, uint8_t>>& out) {
  const long first = WordCovering(path, n.begin);
  if (first < 0) return false;
  const PathSpan& f = path[first];
  const uint32_t given = n.end - n.mid;
  if (f.begin == n.begin && f.end == n.end) {
    out.emplace_back(first, kRoleY);
    return true;
  }
  uint32_t pos;  // where the given name's remaining words start
  bool half = false;  // the first given character is already covered
  if (f.begin == n.begin && f.end == n.mid) {
    out.emplace_back(first, kRoleB);
    pos = n.mid;
  } else if (f.begin < n.begin && f.end == n.mid) {
    out.emplace_back(first, kRoleU);
    pos = n.mid;
  } else if (f.begin == n.begin && given == 4 && f.end == n.mid + 2) {
    out.emplace_back(first, kRoleX);
    pos = n.mid + 2;
    half = true;
  } else {
    return false;
  }
  long w = WordAt(path, pos);
  if (w < 0) return false;
  const PathSpan& g = path[w];
  if (half) {
    if (g.end == n.end) out.emplace_back(w, kRoleD);
    else if (g.end > n.end && g.begin + 2 == n.end) out.emplace_back(w, kRoleV);
    else return false;
    return true;
  }
  if (given == 2) {
    if (g.end == n.end) out.emplace_back(w, kRoleE);
    else if (g.end > n.end) out.emplace_back(w, kRoleV);
    else return false;
    return true;
  }
  if (g.end == n.end) {
    out.emplace_back(w, kRoleZ);
    return true;
  }
  if (g.end != n.mid + 2) return false;
  out.emplace_back(w, kRoleC);
  long v = WordAt(path, n.mid + 2);
  if (v < 0) return false;
  if (path[v].end == n.end) out.emplace_back(v, kRoleD);
  else if (path[v].end > n.end) out.emplace_back(v, kRoleV);
  else return false;
  return true;
}

bool TransliteratedRoles(const std::vector<PathSpan>& path, const GoldName& n,
                         std::vector<std::pair<long, uint8_t>>& out) {
  long first = WordAt(path, n.begin);
  if (first < 0) return false;
  long last = first;
  while (static_cast<size_t>(last) < path.size() && path[last].end < n.end) ++last;
  if (static_cast<size_t>(last) >= path.size() || path[last].end != n.end) return false;
  if (last == first) return true;  // one word: a dictionary name, no role of its own
  out.emplace_back(first, kRoleH);
  for (long k = first + 1; k < last; ++k) out.emplace_back(k, kRoleI);
  out.emplace_back(last, kRoleT);
  return true;
}

}  // namespace

uint8_t PersonTransitionFrom(uint8_t prev, uint8_t cur) {
  const bool begins = cur == kRoleB || cur == kRoleX || cur == kRoleY || cur == kRoleH ||
                      cur == kRoleX2;
  const bool ended = prev == kRoleD || prev == kRoleE || prev == 6 /* G */ || prev == kRoleV ||
                     prev == kRoleY || prev == kRoleZ || prev == kRoleT || prev == kRoleE2 ||
                     prev == kRoleX2 || prev == kRoleDHalf;
  return begins && ended ? static_cast<uint8_t>(kRoleA) : prev;
}

std::vector<uint8_t> AssignPersonRoles(const std::vector<PathSpan>& path,
                                       const std::vector<GoldName>& names,
                                       bool single_given_apart) {
  std::vector<uint8_t> roles(path.size(), kRoleA);
  std::vector<std::pair<long, uint8_t>> parts;
  for (const GoldName& n : names) {
    parts.clear();
    bool ok = n.mid == n.begin ? TransliteratedRoles(path, n, parts)
                               : ChineseNameRoles(path, n, parts);
    if (!ok || parts.empty()) continue;
    if (single_given_apart && n.mid != n.begin && n.end - n.mid == 2) {
      for (auto& p : parts) {
        if (p.second == kRoleE) p.second = kRoleD;
        else if (p.second == kRoleV) p.second = kRoleA;
      }
    }
    for (const auto& p : parts) roles[p.first] = p.second;
    // Context words, unless the name's own words reach into them.
    const long first = parts.front().first, last = parts.back().first;
    const uint8_t first_role = parts.front().second, last_role = parts.back().second;
    if (first > 0 && first_role != kRoleU) {
      uint8_t& r = roles[first - 1];
      if (r == kRoleA) r = kRoleK;
      else if (r == kRoleL) r = kRoleM;
    }
    if (static_cast<size_t>(last + 1) < path.size() && last_role != kRoleV) {
      uint8_t& r = roles[last + 1];
      if (r == kRoleA) r = kRoleL;
    }
  }
  return roles;
}

uint8_t PlaceTransitionFrom(uint8_t prev, uint8_t cur) {
  const bool begins = cur == kRoleLH || cur == kRoleLY || cur == kRoleFH;
  const bool ended = prev == kRoleLT || prev == kRoleLY || prev == kRoleFT;
  return begins && ended ? static_cast<uint8_t>(kRoleA) : prev;
}

std::vector<uint8_t> AssignPlaceRoles(const std::vector<PathSpan>& path,
                                      const std::vector<GoldPlace>& places) {
  std::vector<uint8_t> roles(path.size(), kRoleA);
  for (const GoldPlace& p : places) {
    const long first = WordAt(path, p.begin);
    if (first < 0) continue;
    long last = first;
    while (static_cast<size_t>(last) < path.size() && path[last].end < p.end) ++last;
    if (static_cast<size_t>(last) >= path.size() || path[last].end != p.end || last == first)
      continue;
    const uint32_t prefix = path[last].begin - p.begin;  // head and middle words
    if (prefix > (p.foreign ? 10u : 6u)) continue;
    const uint8_t head = p.foreign ? kRoleFH : kRoleLH;
    roles[first] = head;
    for (long k = first + 1; k < last; ++k) roles[k] = static_cast<uint8_t>(head + 1);
    roles[last] = static_cast<uint8_t>(head + 2);
  }
  return roles;
}

}  // namespace lxtrain
