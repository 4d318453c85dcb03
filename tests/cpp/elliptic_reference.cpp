#include "elliptic_reference.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

namespace caustica::elliptic::testing {
namespace {

double parse_cell(const std::string& cell) {
  if (cell == "-") return std::numeric_limits<double>::quiet_NaN();
  return std::strtod(cell.c_str(), nullptr);
}

}  // namespace

std::vector<ReferenceRow> reference_rows(const std::string& routine) {
  const std::string path = std::string(CAUSTICA_TEST_DATA) + "/elliptic_reference.txt";
  std::ifstream in(path);
  EXPECT_TRUE(in) << "cannot open " << path;
  std::vector<ReferenceRow> rows;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream cells(line);
    std::string name, a1, a2, a3, a4, nearest, residual;
    cells >> name;
    if (name != routine) continue;
    cells >> a1 >> a2 >> a3 >> a4 >> nearest >> residual;
    rows.push_back({{parse_cell(a1), parse_cell(a2), parse_cell(a3), parse_cell(a4)},
                    parse_cell(nearest), parse_cell(residual)});
  }
  EXPECT_FALSE(rows.empty()) << "no reference rows for " << routine;
  return rows;
}

double ulp_error(double computed, const ReferenceRow& row) {
  const double magnitude = std::fabs(row.nearest);
  const double ulp = std::nextafter(magnitude, std::numeric_limits<double>::infinity()) - magnitude;
  // computed - nearest is exact for any result within a factor of two of the reference.
  return ((computed - row.nearest) - row.residual) / ulp;
}

std::string describe(const ReferenceRow& row) {
  std::ostringstream out;
  out.precision(17);
  out << "(";
  for (std::size_t i = 0; i < row.args.size() && !std::isnan(row.args[i]); ++i) {
    out << (i ? ", " : "") << row.args[i];
  }
  out << ")";
  return out.str();
}

}  // namespace caustica::elliptic::testing
