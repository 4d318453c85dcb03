#include "magnification/table_cache.hpp"

#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>

namespace caustica {

namespace {

// The brightness divided by its largest value's power of two, exactly: the magnification does
// not depend on the scale, and neither a flux near overflow nor a table of subnormal values
// loses it.
std::vector<double> scaled_by_largest(const std::vector<double>& bf) {
  const double largest = bf.empty() ? 0.0 : *std::max_element(bf.begin(), bf.end());
  if (!(largest > 0)) return bf;
  const int e = std::ilogb(largest);
  std::vector<double> scaled(bf.size());
  for (std::size_t j = 0; j < bf.size(); ++j) scaled[j] = std::ldexp(bf[j], -e);
  return scaled;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

// Most recently used first. Never destroyed: a daemon thread may still be inside a call while
// the interpreter exits and runs the module's static destructors.
struct Kept {
  std::mutex mutex;
  std::vector<std::shared_ptr<const PreparedTable>> tables;
};
Kept* kept = nullptr;  // set once, before the fork handler that renews it is installed

// Only the forking thread lives on in the child, and a lock another thread held stays held (the
// list perhaps half rotated): the child leaks what was kept, untouched, and starts afresh.
void forget_in_child() noexcept {
  new (&kept->mutex) std::mutex;
  new (&kept->tables) std::vector<std::shared_ptr<const PreparedTable>>;
}

Kept* kept_tables() {
  static Kept* const once = [] {
    kept = new Kept;
    // Without the handler a child could wait forever on a lock held at fork: keep nothing then.
    if (pthread_atfork(nullptr, nullptr, forget_in_child) != 0) return static_cast<Kept*>(nullptr);
    return kept;
  }();
  return once;
}

}  // namespace

PreparedTable::PreparedTable(const std::vector<double>& bl_, const std::vector<double>& bf_,
                             Route route_)
    : route(route_), bl(bl_), bf(bf_), scaled(scaled_by_largest(bf_)),
      profile(RadialProfile::table(bl, scaled)) {
  if (profile.flux() > 0) breaks.emplace(profile, route);
}

std::shared_ptr<const PreparedTable> prepared_table(const std::vector<double>& bl,
                                                    const std::vector<double>& bf, Route route) {
  Kept* const k = kept_tables();
  const auto matches = [&](const std::shared_ptr<const PreparedTable>& t) {
    return t->route == route && same_bits(t->bl, bl) && same_bits(t->bf, bf);
  };
  if (k != nullptr) {
    std::lock_guard lock(k->mutex);
    const auto found = std::find_if(k->tables.begin(), k->tables.end(), matches);
    if (found != k->tables.end()) {
      std::rotate(k->tables.begin(), found, found + 1);
      return k->tables.front();
    }
  }
  // Prepared outside the lock: another thread's call need not wait for it.
  auto table = std::make_shared<const PreparedTable>(bl, bf, route);
  if (k == nullptr || bl.size() > MOST_POINTS) return table;
  std::lock_guard lock(k->mutex);
  // Another call may have kept the same table meanwhile.
  if (std::any_of(k->tables.begin(), k->tables.end(), matches)) return table;
  // No memory to keep it: it serves this call all the same.
  try {
    k->tables.insert(k->tables.begin(), table);
  } catch (const std::bad_alloc&) {
    return table;
  }
  std::size_t points = 0, count = 0;
  for (const auto& t : k->tables) {
    if (count == MOST_TABLES || points + t->bl.size() > MOST_POINTS) break;
    points += t->bl.size();
    ++count;
  }
  k->tables.resize(count);
  return table;
}

}  // namespace caustica
