// Every string id that the sources load has a text in both string tables.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

// The generated look-up tables of the native build (rcstrings.py): the
// Russian table of the program itself and the English one of 0409.rll.
int LookupBuiltinRu(uint32_t id, char16_t* pszBuf, int cchBuf);
int LookupBuiltinEn(uint32_t id, char16_t* pszBuf, int cchBuf);

namespace {

namespace fs = std::filesystem;

struct UsedId {
  uint32_t id;
  std::string where;  // file:line
};

bool IsSourceFile(const fs::path& path) {
  std::string ext = path.extension().string();
  return ext == ".cpp" || ext == ".h";
}

// Top-level folders that hold no program code (or deliberately use missing ids).
bool IsSkippedFolder(const std::string& name) {
  return name == "tests" || name == "build" || name == "fuzz" || name == "bench" || name.empty() || name[0] == '.';
}

// Literal ids passed to the loaders, and the string id constants (c_ids...).
std::vector<UsedId> CollectUsedIds(const fs::path& root) {
  static const std::regex patterns[] = {
      std::regex(R"(\b(?:LoadResString|LoadResStringAlloc|SetGpsStatus)\s*\(\s*(\d+)\b)"),
      std::regex(R"(\bFormatResString\s*\([^,;()]*,[^,;()]*,\s*(\d+)\b)"),
      std::regex(R"(\bShowMapMessage\s*\([^,;()]*,\s*(\d+)\b)"),
      std::regex(R"(\bc_ids\w*\s*=\s*(\d+)\b)"),
  };
  std::vector<UsedId> used;
  std::error_code ec;
  for (const fs::directory_entry& top : fs::directory_iterator(root, ec)) {
    if (!top.is_directory() || IsSkippedFolder(top.path().filename().string())) continue;
    for (fs::recursive_directory_iterator it(top.path(), ec), end; !ec && it != end; it.increment(ec)) {
      if (!it->is_regular_file() || !IsSourceFile(it->path())) continue;
      std::ifstream in(it->path());
      std::string line;
      for (int nLine = 1; std::getline(in, line); ++nLine) {
        for (const std::regex& re : patterns) {
          for (std::sregex_iterator m(line.begin(), line.end(), re), mEnd; m != mEnd; ++m) {
            std::ostringstream where;
            where << fs::relative(it->path(), root).string() << ":" << nLine;
            used.push_back({uint32_t(std::stoul((*m)[1].str())), where.str()});
          }
        }
      }
    }
  }
  return used;
}

TEST(ResIdsTest, ScannerFindsEveryKindOfUse) {
  fs::path dir = fs::temp_directory_path() / ("velmo_res_ids_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::create_directories(dir / "app");
  {
    std::ofstream out(dir / "app" / "Sample.cpp");
    out << "LoadResString(2111, sz, 64);\n"
        << "FormatResString(sz, 520, 2008, pszText);\n"
        << "SetGpsStatus(2116, pszName);\n"
        << "ShowMapMessage(pContext, 2007, pszReport);\n"
        << "const uint32_t c_idsUnitMeters = 2400;\n";
  }
  std::vector<UsedId> used = CollectUsedIds(dir);
  fs::remove_all(dir);
  std::set<uint32_t> ids;
  for (const UsedId& u : used) ids.insert(u.id);
  EXPECT_EQ(ids, (std::set<uint32_t>{2111, 2008, 2116, 2007, 2400}));
}

TEST(ResIdsTest, EveryIdTheSourcesLoadHasBothTexts) {
  std::vector<UsedId> used = CollectUsedIds(fs::path(VELMO_SOURCE_DIR));
  ASSERT_FALSE(used.empty()) << "no string id found under " << VELMO_SOURCE_DIR;
  for (const UsedId& u : used) {
    if (u.id == 0) continue;  // "no text" (e.g. a map format without a description)
    char16_t sz[1024];
    EXPECT_GT(LookupBuiltinRu(u.id, sz, 1024), 0) << "string " << u.id << " (" << u.where << ") has no Russian text";
    EXPECT_GT(LookupBuiltinEn(u.id, sz, 1024), 0) << "string " << u.id << " (" << u.where << ") has no English text";
  }
}


// Dialog, menu, icon and bitmap templates share one id space per resource
// type: two dialogs with the same number make one of them unreachable (the
// resource compiler keeps one silently). Each id header of app/res defines
// its templates with IDD_/IDM_/IDI_/IDB_ names; no two of one kind share a number.
TEST(ResIdsTest, ResourceTemplatesHaveDistinctIds) {
  static const std::regex define(R"(^\s*#\s*define\s+(ID[DMIB])_(\w+)\s+(\d+)\b)");
  std::map<std::string, std::map<unsigned long, std::string>> seen;  // kind -> id -> name
  int cDefines = 0;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(fs::path(VELMO_SOURCE_DIR) / "app" / "res", ec)) {
    if (e.path().extension() != ".h") continue;
    std::ifstream in(e.path());
    std::string line;
    while (std::getline(in, line)) {
      std::smatch m;
      if (!std::regex_search(line, m, define)) continue;
      ++cDefines;
      std::string name = m[1].str() + "_" + m[2].str();
      auto [it, fNew] = seen[m[1].str()].emplace(std::stoul(m[3].str()), name);
      EXPECT_TRUE(fNew) << name << " (" << e.path().filename().string() << ") has the id " << m[3].str()
                        << " of " << it->second;
    }
  }
  EXPECT_GT(cDefines, 20) << "no resource id headers found";
}

}  // namespace
