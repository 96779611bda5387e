// Every menu command id is named once in app/Commands.h: the menus of both
// resource scripts use only named ids (the page items as cmdPageFirst +
// index), and no source outside that header
// writes one as a bare number.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The named commands: value -> name.
std::map<unsigned, std::string> NamedCommands(const std::string& strHeader) {
  std::map<unsigned, std::string> named;
  const std::regex re(R"(\b(cmd\w+)\s*=\s*(\d+)\s*,)");
  for (std::sregex_iterator m(strHeader.begin(), strHeader.end(), re), end; m != end; ++m)
    named.emplace(unsigned(std::stoul((*m)[2].str())), (*m)[1].str());
  return named;
}

// The ids of the MENUITEM lines of a resource script.
std::vector<unsigned> MenuItemIds(const std::string& strScript) {
  std::vector<unsigned> ids;
  const std::regex re(R"(MENUITEM\s+"[^"]*"\s*,\s*(\d+))");
  for (std::sregex_iterator m(strScript.begin(), strScript.end(), re), end; m != end; ++m)
    ids.push_back(unsigned(std::stoul((*m)[1].str())));
  return ids;
}

const fs::path c_root(VELMO_SOURCE_DIR);

TEST(CommandIdsTest, ScannersReadTheFormats) {
  const auto named = NamedCommands("enum Command : unsigned {\n  cmdA = 40001,\n  cmdB = 57601,  // b\n};");
  ASSERT_EQ(named.size(), 2u);
  EXPECT_EQ(named.at(57601), "cmdB");
  const auto ids = MenuItemIds("  MENUITEM \"Open map...\", 57601\n  MENUITEM SEPARATOR\n  MENUITEM \"A, b\", 40001\n");
  EXPECT_EQ(ids, (std::vector<unsigned>{57601, 40001}));
}

TEST(CommandIdsTest, EveryMenuItemIsANamedCommandAndBothLanguagesAgree) {
  const auto named = NamedCommands(ReadText(c_root / "app/Commands.h"));
  ASSERT_GE(named.size(), 40u);
  std::set<std::string> names;
  for (const auto& [id, name] : named)
    EXPECT_TRUE(names.insert(name).second) << name << " names two ids";
  std::vector<unsigned> idsRu, idsEn;
  for (const char* pszScript : {"app/res/menus.ru.rc_", "app/res/menus.en.rc_"}) {
    const std::vector<unsigned> ids = MenuItemIds(ReadText(c_root / pszScript));
    ASSERT_GE(ids.size(), 40u) << pszScript;
    for (unsigned id : ids) {
      const bool fPage = id >= 2000 && id <= 2009 && named.count(2000) && named.at(2000) == "cmdPageFirst";
      EXPECT_TRUE(named.count(id) || fPage) << pszScript << ": menu item " << id << " has no name";
    }
    (idsRu.empty() ? idsRu : idsEn) = ids;
  }
  EXPECT_EQ(idsRu, idsEn);  // the same items in the same order
}

TEST(CommandIdsTest, NoSourceWritesACommandIdAsANumber) {
  const auto named = NamedCommands(ReadText(c_root / "app/Commands.h"));
  // The page items (2000 + index) share their numbers with many other
  // things; the 40xxx and 57601 ids do not.
  std::string strAlternatives;
  for (const auto& [id, name] : named) {
    if (id < 40000) continue;
    strAlternatives += (strAlternatives.empty() ? "" : "|") + std::to_string(id);
  }
  const std::regex re("(^|[^0-9A-Za-z_.])(" + strAlternatives + ")($|[^0-9A-Za-z_])");
  std::vector<std::string> found;
  for (const char* pszFolder : {"app", "render", "store", "view", "map", "gps", "exchange", "geo", "platform", "tools"}) {
    std::error_code ec;
    for (fs::recursive_directory_iterator it(c_root / pszFolder, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string ext = it->path().extension().string();
      if (!it->is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
      if (fs::equivalent(it->path(), c_root / "app/Commands.h")) continue;
      std::ifstream in(it->path());
      std::string line;
      for (int nLine = 1; std::getline(in, line); ++nLine)
        if (std::regex_search(line, re))
          found.push_back(fs::relative(it->path(), c_root).string() + ":" + std::to_string(nLine) + ": " + line);
    }
  }
  EXPECT_TRUE(found.empty()) << "bare command ids:\n" << [&] {
    std::string s;
    for (const std::string& f : found) s += f + "\n";
    return s;
  }();
}

}  // namespace
