// Writes the exact results of the kernels, drivers and elliptic integrals over fixed input sets,
// one binary file per group, so that a change meant to leave every result unchanged can be
// checked bit for bit (benchmarks/bit_identity.py hashes and compares the files).
//
//   bit_dump OUTPUT_DIR [--quick]
//
// Each record is one tag byte (0: a value, 1: an error) and eight bytes: the value's bit pattern,
// or a hash of the error's message text. Inputs come from a fixed-seed generator over bit
// patterns, so they are the same on every run and every compiler.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "elliptic/carlson.hpp"
#include "elliptic/complete.hpp"
#include "magnification/heyrovsky.hpp"
#include "magnification/integrated.hpp"
#include "magnification/witt_mao.hpp"

namespace {

using caustica::EllipticResult;
namespace ell = caustica::elliptic;

constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double MAX = std::numeric_limits<double>::max();
constexpr double TINY = std::numeric_limits<double>::denorm_min();

// splitmix64: a fixed sequence on every platform, unlike the standard distributions.
struct Random {
  std::uint64_t state;
  std::uint64_t bits() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  double unit() { return static_cast<double>(bits() >> 11) * 0x1.0p-53; }  // [0, 1)
  double uniform(double a, double b) { return a + (b - a) * unit(); }
  double log_uniform(double lo_exp, double hi_exp) { return std::pow(10.0, uniform(lo_exp, hi_exp)); }
  double any_double() {
    double x;
    const std::uint64_t b = bits();
    std::memcpy(&x, &b, sizeof x);
    return x;
  }
  double sign() { return (bits() & 1) ? -1.0 : 1.0; }
};

// Values every argument should meet: the edges of the domain and of the floating-point range.
std::vector<double> specials() {
  std::vector<double> v{0.0, -0.0, 1.0, -1.0, 0.5, 2.0, 4.0, 0.1, 1e-5, 1e-300, TINY, -TINY,
                        MAX, -MAX, INF, -INF, NaN, -NaN, 1e300, -1e300, 1e-16, 0.9, 0.95, 0.99,
                        1.1, 10.0, 100.0, 1e8, -1e8, 3.0, 0.25};
  double up = 1.0, down = 1.0;
  for (int i = 0; i < 8; ++i) {
    up = std::nextafter(up, INF);
    down = std::nextafter(down, -INF);
    v.push_back(up);
    v.push_back(down);
  }
  for (int k = 1; k <= 16; ++k) {
    const double e = std::pow(10.0, -k);
    v.push_back(1.0 + e);
    v.push_back(1.0 - e);
    v.push_back(-e);
    v.push_back(e);
  }
  for (int k = 1; k <= 20; ++k) v.push_back(k * 0.05);  // the Taylor intervals' edges
  return v;
}

class Writer {
 public:
  Writer(const std::string& dir, const char* name) : file_(std::fopen((dir + "/" + name + ".bin").c_str(), "wb")) {
    if (!file_) {
      std::perror(name);
      std::exit(1);
    }
  }
  ~Writer() { std::fclose(file_); }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  void value(double x) { record(0, bits_of(x)); }
  void result(const EllipticResult& r) {
    if (r) {
      value(*r);
    } else {
      std::uint64_t h = 1469598103934665603ULL;  // FNV-1a of the message
      for (const char* c = r.error().message; *c; ++c) h = (h ^ static_cast<unsigned char>(*c)) * 1099511628211ULL;
      record(1, h);
    }
  }
  void values(const caustica::BatchResult& r) {
    if (!r) {
      result(r.error());
      return;
    }
    for (const double x : *r) value(x);
  }

 private:
  static std::uint64_t bits_of(double x) {
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
  }
  void record(unsigned char tag, std::uint64_t payload) {
    std::fputc(tag, file_);
    std::fwrite(&payload, sizeof payload, 1, file_);
  }
  std::FILE* file_;
};

// Separations (source radii) for the uniform disk: the limb and its neighbourhood, the centre,
// the far field, and arbitrary bit patterns.
std::vector<double> disk_separations(Random& random, std::size_t count) {
  std::vector<double> x = specials();
  while (x.size() < count) {
    switch (random.bits() % 6) {
      case 0: x.push_back(random.uniform(0.0, 5.0)); break;
      case 1: x.push_back(random.log_uniform(-8, 8)); break;
      case 2: x.push_back(1.0 + random.sign() * random.log_uniform(-16, -0.5)); break;
      case 3: x.push_back(random.uniform(0.0, 1.0) * random.log_uniform(-3, 0)); break;
      case 4: x.push_back(random.uniform(0.5, 1.5)); break;
      default: x.push_back(random.any_double()); break;
    }
  }
  return x;
}

const std::vector<double> RHOS{1e-6, 1e-4, 1e-3, 1e-2, 0.05, 0.1, 0.3, 1.0, 3.0, 10.0, 1e3, 1e6};

void dump_witt_mao(const std::string& dir, std::size_t count) {
  Random random{1};
  const std::vector<double> x = disk_separations(random, count);
  Writer out(dir, "witt_mao_magnification");
  for (const double rho : RHOS) out.values(caustica::witt_mao_magnification(x, 1.0, rho));
  // Radii given the other way round and odd pairs: re and rstar both enter.
  for (const auto& [re, rstar] : std::vector<std::pair<double, double>>{
           {10.0, 1.0}, {3.0, 0.7}, {1.0, 0.0}, {0.0, 1.0}, {1.0, -0.1}, {-1.0, 0.1}, {1.0, NaN}, {INF, 1.0}, {1.0, INF}}) {
    out.values(caustica::witt_mao_magnification(std::vector<double>(x.begin(), x.begin() + count / 20), re, rstar));
  }
  // The kernel over random source sizes, one per separation.
  for (std::size_t i = 0; i < count; ++i) {
    const double rho = random.log_uniform(-5, 2);
    out.value(caustica::witt_mao_kernel(x[i], rho, rho * rho));
  }
}

void dump_heyrovsky(const std::string& dir, std::size_t count) {
  Random random{2};
  const std::vector<double> edge = specials();
  Writer out(dir, "heyrovsky_magnification");
  for (const double rho : RHOS) {
    const double re = 1.0, rstar = rho;
    for (const double l : edge)
      for (const double r : edge) out.result(caustica::heyrovsky_magnification(l, r, re, rstar));
  }
  for (std::size_t i = 0; i < count; ++i) {
    const double rho = random.log_uniform(-5, 2);
    const double re = random.bits() & 1 ? 1.0 : 1.0 / rho;
    const double rstar = re == 1.0 ? rho : 1.0;
    double l = 0, r = 0;
    switch (random.bits() % 7) {
      case 0: l = random.uniform(0.0, 3.0); r = random.uniform(0.0, 1.0); break;
      case 1: l = random.uniform(0.0, 3.0); r = l + random.sign() * random.log_uniform(-12, -4); break;
      case 2: l = random.uniform(0.0, 3.0); r = l + random.sign() * random.log_uniform(-5.5, -0.3); break;
      case 3: l = random.bits() & 1 ? 0.0 : random.uniform(0.0, 2.0); r = l == 0.0 ? random.uniform(0.0, 1.0) : 0.0; break;
      case 4: l = random.log_uniform(-8, 8); r = random.log_uniform(-8, 8); break;
      case 5: l = random.uniform(-1.0, 3.0); r = random.uniform(-1.0, 1.0); break;
      default: l = random.any_double(); r = random.bits() & 1 ? random.any_double() : random.uniform(0.0, 1.0); break;
    }
    out.result(caustica::heyrovsky_magnification(l, r, re, rstar));
  }
}

void dump_integrated(const std::string& dir, std::size_t count) {
  Random random{3};
  std::vector<double> l{0.0, 1.0, 0.5, 0.99, 1.01, 1e-6, 2.0, 10.0, 1e300, -0.5, NaN, INF, 1.0 + 1e-9, 1.0 - 1e-9};
  while (l.size() < count) {
    l.push_back(random.bits() & 1 ? random.uniform(0.0, 3.0) : 1.0 + random.sign() * random.log_uniform(-10, -1));
  }
  Writer ring(dir, "integrated_heyrovsky_magnification");
  Writer disk(dir, "integrated_witt_mao_magnification");
  for (const double rho : {1e-3, 1e-2, 0.1, 1.0, 10.0}) {
    ring.values(caustica::_integrated_heyrovsky_magnification(l, caustica::limb_darkening_profile, 1.0, rho,
                                                              caustica::LIMB_DARKENING_FLUX));
    disk.values(caustica::_integrated_witt_mao_magnification(l, caustica::limb_darkening_profile, 1.0, rho,
                                                             caustica::LIMB_DARKENING_FLUX));
  }
}

// Parameters for K and E: a dense sweep of [-2, 1.5], every Taylor interval, the approach to 1,
// large negative values and arbitrary bit patterns.
std::vector<double> parameters(Random& random, std::size_t count) {
  std::vector<double> m = specials();
  for (int i = -4000; i <= 3000; ++i) m.push_back(i * 0.0005);
  while (m.size() < count) {
    switch (random.bits() % 5) {
      case 0: m.push_back(random.uniform(-1.0, 1.0)); break;
      case 1: m.push_back(1.0 - random.log_uniform(-16, 0)); break;
      case 2: m.push_back(-random.log_uniform(-10, 300)); break;
      case 3: m.push_back(random.uniform(0.0, 1.0)); break;
      default: m.push_back(random.any_double()); break;
    }
  }
  return m;
}

void dump_complete(const std::string& dir, std::size_t count) {
  Random random{4};
  const std::vector<double> m = parameters(random, count);
  {
    Writer out(dir, "ellipk");
    for (const double v : m) out.result(ell::ellipk(v));
  }
  {
    Writer out(dir, "ellipe");
    for (const double v : m) out.result(ell::ellipe(v));
  }
  Writer out(dir, "ellippi");
  const std::vector<double> edge = specials();
  for (const double n : edge)
    for (const double v : edge) out.result(ell::ellippi(n, v));
  for (int i = -40; i <= 60; ++i)
    for (int j = -40; j <= 50; ++j) out.result(ell::ellippi(i * 0.025, j * 0.02));
  for (std::size_t i = 0; i < count / 4; ++i) {
    double n = 0, v = 0;
    switch (random.bits() % 6) {
      case 0: n = random.uniform(-2.0, 1.0); v = random.uniform(-1.0, 1.0); break;
      case 1: n = 1.0 - random.log_uniform(-16, 0); v = random.uniform(0.0, 1.0); break;
      case 2: n = 1.0 + random.log_uniform(-16, 2); v = random.uniform(0.0, 1.0); break;
      case 3: v = random.uniform(0.0, 1.0); n = v * random.uniform(0.0, 1.0); break;
      case 4: n = random.sign() * random.log_uniform(-10, 300); v = -random.log_uniform(-10, 300); break;
      default: n = random.any_double(); v = random.any_double(); break;
    }
    out.result(ell::ellippi(n, v));
  }
}

// Arguments for Carlson's integrals: zeros, equal pairs, wide spreads and negative values.
double carlson_argument(Random& random) {
  switch (random.bits() % 8) {
    case 0: return 0.0;
    case 1: return 1.0;
    case 2: return random.uniform(0.0, 2.0);
    case 3: return random.log_uniform(-16, 0);
    case 4: return random.log_uniform(-100, 100);
    case 5: return 1.0 - random.log_uniform(-16, -1);
    case 6: return -random.log_uniform(-3, 3);
    default: return random.any_double();
  }
}

void dump_carlson(const std::string& dir, std::size_t count) {
  Random random{5};
  Writer rf(dir, "elliprf");
  Writer rd(dir, "elliprd");
  Writer rj(dir, "elliprj");
  for (std::size_t i = 0; i < count; ++i) {
    const double x = carlson_argument(random), y = carlson_argument(random);
    const double z = random.bits() % 4 == 0 ? y : carlson_argument(random);
    const double p = random.bits() % 4 == 0 ? z : carlson_argument(random);
    rf.value(ell::elliprf(x, y, z));
    rd.value(ell::elliprd(x, y, z));
    rj.value(ell::elliprj(x, y, z, p));
  }
  // The calls the kernels make: RF, RD and RJ of (0, 1 - m, 1) and p.
  for (std::size_t i = 0; i < count; ++i) {
    const double y = random.bits() & 1 ? random.uniform(0.0, 1.0) : random.log_uniform(-30, 0);
    const double p = random.bits() & 1 ? random.uniform(0.0, 1.0) : random.log_uniform(-30, 0);
    rf.value(ell::elliprf(0.0, y, 1.0));
    rd.value(ell::elliprd(0.0, y, 1.0));
    rj.value(ell::elliprj(0.0, y, 1.0, p));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR [--quick]\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  const bool quick = argc > 2 && std::strcmp(argv[2], "--quick") == 0;
  const std::size_t scale = quick ? 10 : 1;
  dump_witt_mao(dir, 500000 / scale);
  dump_heyrovsky(dir, 2000000 / scale);
  dump_integrated(dir, 200 / scale);
  dump_complete(dir, 2000000 / scale);
  dump_carlson(dir, 1000000 / scale);
  return 0;
}
