// demogen: writes a synthetic region as OpenStreetMap XML, the same bytes
// for the same arguments. Towns with Russian names joined by highways (a
// motorway with its ramps between the first two, a toll road), street grids
// with one-way and unpaved streets, a roundabout and turn restrictions in
// every town (in the towns after the first: a roundabout with four exits,
// the restrictions on the split main streets and a pedestrian street), a ring road
// around the largest town, a river with bridges, lakes (one with an
// island), parks, forests, buildings with addresses and postal codes, and
// points of interest of every category; the towns' blocks are built-up
// quarters with houses, a square and a river with a pond beside them.
//
//   demogen [--size N] -o OUT.osm      (N = 1 .. 800, default 1)
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Rng {
  uint64_t s;
  uint32_t Next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return uint32_t(s >> 11);
  }
  double Unit() { return (Next() & 0xFFFFFF) / double(0x1000000); }
  int Range(int n) { return n > 0 ? int(Next() % uint32_t(n)) : 0; }
};

typedef std::vector<std::pair<std::string, std::string>> Tags;

struct Node {
  int64_t id;
  double lon, lat;
  Tags tags;
};
struct Way {
  int64_t id;
  std::vector<int64_t> nodes;
  Tags tags;
};
struct Member {
  char type;  // 'n', 'w'
  int64_t ref;
  std::string role;
};
struct Relation {
  int64_t id;
  std::vector<Member> members;
  Tags tags;
};

class CRegion {
 public:
  std::vector<Node> nodes;
  std::vector<Way> ways;
  std::vector<Relation> relations;

  int64_t AddNode(double lon, double lat, Tags tags = {}) {
    nodes.push_back(Node{int64_t(nodes.size()) + 1, lon, lat, std::move(tags)});
    return nodes.back().id;
  }
  int64_t AddWay(std::vector<int64_t> refs, Tags tags) {
    ways.push_back(Way{int64_t(ways.size()) + 1, std::move(refs), std::move(tags)});
    return ways.back().id;
  }
  int64_t AddRelation(std::vector<Member> members, Tags tags) {
    relations.push_back(Relation{int64_t(relations.size()) + 1, std::move(members), std::move(tags)});
    return relations.back().id;
  }
  // A closed ring of n nodes around (lon, lat) with radii rx, ry (degrees).
  std::vector<int64_t> Ring(double lon, double lat, double rx, double ry, int n, Rng* pRng = nullptr) {
    std::vector<int64_t> refs;
    for (int i = 0; i < n; ++i) {
      double a = 2 * M_PI * i / n;
      double k = pRng ? 0.85 + 0.3 * pRng->Unit() : 1.0;
      refs.push_back(AddNode(lon + rx * k * std::cos(a), lat + ry * k * std::sin(a)));
    }
    refs.push_back(refs.front());
    return refs;
  }
  std::vector<int64_t> Rect(double l, double b, double r, double t) {
    std::vector<int64_t> refs{AddNode(l, b), AddNode(r, b), AddNode(r, t), AddNode(l, t)};
    refs.push_back(refs.front());
    return refs;
  }
};

const char* const c_apszTowns[] = {"Берёзовка", "Сосновка", "Каменск", "Озёрск", "Заречье", "Новоселье",
                                    "Приволжск", "Светлогорск", "Дубровка", "Лесной", "Ольховка", "Рябиновка",
                                    "Кедровый", "Ясногорск", "Солнечный", "Черёмушки"};
const char* const c_apszStreets[] = {"улица Ленина", "Садовая улица", "Школьная улица", "Центральная улица",
                                      "улица Мира", "Лесная улица", "Молодёжная улица", "Заречная улица",
                                      "Набережная улица", "улица Гагарина", "Полевая улица", "Советская улица",
                                      "Новая улица", "Солнечная улица", "улица Победы", "Луговая улица",
                                      "Пушкинская улица", "Октябрьская улица", "Комсомольская улица",
                                      "Первомайская улица"};

// One node of every category of the find dialogs that OSM has a tag for.
const char* const c_apszPoiTags[][2] = {
    {"amenity", "restaurant"}, {"amenity", "cafe"}, {"amenity", "fast_food"}, {"tourism", "hotel"},
    {"tourism", "guest_house"}, {"tourism", "camp_site"}, {"tourism", "museum"}, {"amenity", "library"},
    {"historic", "monument"}, {"tourism", "zoo"}, {"tourism", "attraction"}, {"tourism", "viewpoint"},
    {"amenity", "place_of_worship"}, {"amenity", "school"}, {"amenity", "kindergarten"},
    {"amenity", "university"}, {"amenity", "theatre"}, {"amenity", "cinema"}, {"amenity", "bar"},
    {"leisure", "swimming_pool"}, {"leisure", "fitness_centre"}, {"leisure", "ice_rink"},
    {"shop", "supermarket"}, {"shop", "convenience"}, {"shop", "clothes"}, {"shop", "mall"},
    {"amenity", "pharmacy"}, {"shop", "hardware"}, {"shop", "electronics"}, {"shop", "books"},
    {"amenity", "post_office"}, {"amenity", "bank"}, {"amenity", "atm"}, {"shop", "hairdresser"},
    {"amenity", "toilets"}, {"amenity", "police"}, {"amenity", "hospital"}, {"amenity", "townhall"},
    {"amenity", "fire_station"}, {"amenity", "courthouse"}, {"railway", "station"}, {"highway", "bus_stop"},
    {"amenity", "bus_station"}, {"amenity", "taxi"}, {"amenity", "fuel"}, {"amenity", "car_wash"},
    {"shop", "car_repair"}, {"amenity", "parking"}, {"amenity", "car_rental"}, {"highway", "traffic_signals"},
    {"highway", "speed_camera"}, {"leisure", "picnic_site"}, {"amenity", "drinking_water"},
    {"leisure", "fishing"}, {"natural", "spring"}, {"man_made", "tower"}, {"natural", "peak"},
    {"amenity", "charging_station"}, {"leisure", "slipway"}, {"aeroway", "helipad"}};
const char* const c_apszPoiNames[] = {"Ромашка", "Берёзка", "Уют", "Центральный", "Север", "Восход",
                                       "Радуга", "Волна", "Звезда", "Мечта", "Огонёк", "Весна"};

void WriteEscaped(FILE* f, const std::string& s) {
  for (char ch : s) {
    switch (ch) {
      case '&': std::fputs("&amp;", f); break;
      case '<': std::fputs("&lt;", f); break;
      case '>': std::fputs("&gt;", f); break;
      case '"': std::fputs("&quot;", f); break;
      default: std::fputc(ch, f);
    }
  }
}

void WriteTags(FILE* f, const Tags& tags) {
  for (const auto& t : tags) {
    std::fputs("    <tag k=\"", f);
    WriteEscaped(f, t.first);
    std::fputs("\" v=\"", f);
    WriteEscaped(f, t.second);
    std::fputs("\"/>\n", f);
  }
}

struct Town {
  std::string strName;
  double lon, lat;
  int cStreets;        // streets each way
  double fStep;        // degrees between streets
  std::vector<std::vector<int64_t>> grid;  // grid[i][j] node ids
  std::vector<std::vector<int64_t>> houses;  // building ways of block i * (n - 1) + j
};

void BuildTown(CRegion& reg, Town& town, int iTown, Rng& rng, int nSize) {
  const int n = town.cStreets;
  const double dx = town.fStep * 1.5, dy = town.fStep;  // about square on the ground at 55°
  const double l = town.lon - dx * (n - 1) / 2, b = town.lat - dy * (n - 1) / 2;
  town.grid.assign(size_t(n), std::vector<int64_t>(size_t(n)));
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) town.grid[size_t(i)][size_t(j)] = reg.AddNode(l + dx * j, b + dy * i);
  std::string strPost = std::to_string(140000 + iTown * 100);
  reg.AddNode(town.lon + dx * 0.3, town.lat + dy * 0.3,
              {{"place", iTown == 0 ? "city" : n >= 8 ? "town" : "village"},
               {"name", town.strName},
               {"population", std::to_string(2000 * n * n)},
               {"addr:postcode", strPost}});
  int iStreetName = 0;
  auto streetName = [&]() {
    std::string s = c_apszStreets[iStreetName % 20];
    if (iStreetName >= 20) s += " " + std::to_string(iStreetName / 20 + 1);
    ++iStreetName;
    return s;
  };
  std::vector<std::string> rowNames, colNames;
  // The towns after the first have their main streets split at the main
  // crossing (the turn restrictions there name the halves), a pedestrian
  // street and a roundabout with four exits.
  const bool fRoutingTown = iTown > 0 && n >= 4;
  const int m = n / 2;
  int64_t rowWest = 0, colNorth = 0;
  // Adds a street of grid nodes, split at index iSplit (0 = whole); returns
  // the way that ends at (iSplit > 0) or starts from the split node (iSplit < 0).
  auto addStreet = [&](const std::vector<int64_t>& refs, const Tags& tags, int iSplit) {
    if (iSplit == 0) return reg.AddWay(refs, tags);
    size_t k = size_t(iSplit > 0 ? iSplit : -iSplit);
    int64_t a = reg.AddWay(std::vector<int64_t>(refs.begin(), refs.begin() + long(k) + 1), tags);
    int64_t b = reg.AddWay(std::vector<int64_t>(refs.begin() + long(k), refs.end()), tags);
    return iSplit > 0 ? a : b;
  };
  // Rows (west-east) and columns (south-north); the middle ones are the
  // main streets, every third other street is one-way.
  for (int i = 0; i < n; ++i) {
    std::vector<int64_t> refs;
    for (int j = 0; j < n; ++j) refs.push_back(town.grid[size_t(i)][size_t(j)]);
    std::string strName = streetName();
    rowNames.push_back(strName);
    Tags tags{{"highway", i == n / 2 ? "secondary" : "residential"}, {"name", strName}};
    if (i != n / 2 && i % 3 == 1) tags.push_back({"oneway", "yes"});
    if (i != n / 2 && i % 5 == 4) tags.push_back({"surface", "gravel"});
    int64_t way = addStreet(refs, tags, fRoutingTown && i == m ? m : 0);
    if (i == m) rowWest = way;
  }
  for (int j = 0; j < n; ++j) {
    std::vector<int64_t> refs;
    for (int i = 0; i < n; ++i) refs.push_back(town.grid[size_t(i)][size_t(j)]);
    std::string strName = streetName();
    Tags tags{{"highway", j == n / 2 ? "tertiary" : "residential"}, {"name", strName}};
    if (fRoutingTown && j == 1) {
      // Pedestrians only: a car between its ends goes round by the next street.
      strName = "Пешеходная улица";
      tags = Tags{{"highway", "pedestrian"}, {"name", strName}};
    }
    colNames.push_back(strName);
    if (j != n / 2 && j % 4 == 2) tags.push_back({"oneway", "-1"});
    int64_t way = addStreet(refs, tags, fRoutingTown && j == m ? -m : 0);
    if (j == m) colNorth = way;
  }
  // A roundabout on the main crossing's north-east quarter.
  {
    double cx = l + dx * (n / 2 + 0.5), cy = b + dy * (n / 2 + 0.5);
    std::vector<int64_t> ring = reg.Ring(cx, cy, dx * 0.15, dy * 0.15, 12);
    std::reverse(ring.begin(), ring.end());  // clockwise would be wrong: counter-clockwise traffic
    reg.AddWay(ring, {{"highway", "tertiary"}, {"junction", "roundabout"}});
    reg.AddWay({town.grid[size_t(n / 2)][size_t(n / 2)], ring[3]}, {{"highway", "residential"}, {"name", "Круговой проезд"}});
    if (fRoutingTown) {
      // Three more exits, to the other corners of the block (ring[0] lies
      // east, ring[9] north, ring[6] west of the centre).
      reg.AddWay({ring[0], town.grid[size_t(m)][size_t(m + 1)]}, {{"highway", "residential"}, {"name", "Восточный проезд"}});
      reg.AddWay({ring[9], town.grid[size_t(m + 1)][size_t(m + 1)]}, {{"highway", "residential"}, {"name", "Северный проезд"}});
      reg.AddWay({ring[6], town.grid[size_t(m + 1)][size_t(m)]}, {{"highway", "residential"}, {"name", "Западный проезд"}});
    }
  }
  // Turn restrictions at the main crossing: no left turn from the main row
  // onto the main column (the main street's halves meet there), and no
  // U-turn on the main column.
  if (fRoutingTown) {
    int64_t via = town.grid[size_t(m)][size_t(m)];
    reg.AddRelation({{'w', rowWest, "from"}, {'n', via, "via"}, {'w', colNorth, "to"}},
                    {{"type", "restriction"}, {"restriction", "no_left_turn"}});
    reg.AddRelation({{'w', colNorth, "from"}, {'n', via, "via"}, {'w', colNorth, "to"}},
                    {{"type", "restriction"}, {"restriction", "no_u_turn"}});
  } else if (n >= 3) {
    int m = n / 2;
    int64_t wayFrom = reg.AddWay({town.grid[size_t(m)][size_t(m - 1)], town.grid[size_t(m)][size_t(m)]},
                                 {{"highway", "secondary"}, {"name", rowNames[size_t(m)]}});
    int64_t wayTo = reg.AddWay({town.grid[size_t(m)][size_t(m)], town.grid[size_t(m + 1)][size_t(m)]},
                               {{"highway", "tertiary"}, {"name", colNames[size_t(m)]}});
    reg.AddRelation({{'w', wayFrom, "from"}, {'n', town.grid[size_t(m)][size_t(m)], "via"}, {'w', wayTo, "to"}},
                    {{"type", "restriction"}, {"restriction", "no_left_turn"}});
    reg.AddRelation({{'w', wayTo, "from"}, {'n', town.grid[size_t(m)][size_t(m)], "via"}, {'w', wayTo, "to"}},
                    {{"type", "restriction"}, {"restriction", "no_u_turn"}});
  }
  // Buildings with addresses along the rows.
  town.houses.assign(size_t(n - 1) * size_t(n - 1), {});
  for (int i = 0; i + 1 < n; ++i)
    for (int j = 0; j + 1 < n; ++j) {
      int cHouses = 2 + (nSize > 4 ? 2 : 0);
      for (int h = 0; h < cHouses; ++h) {
        double bl = l + dx * j + dx * (0.1 + 0.8 * h / cHouses), bb = b + dy * i + dy * 0.1;
        double bw = dx * 0.6 / cHouses, bh = dy * 0.25;
        int64_t& house = town.houses[size_t(i * (n - 1) + j)].emplace_back();
        house = reg.AddWay(reg.Rect(bl, bb, bl + bw, bb + bh),
                   {{"building", h % 3 == 0 ? "apartments" : "house"},
                    {"addr:street", rowNames[size_t(i)]},
                    {"addr:housenumber", std::to_string(j * cHouses + h + 1)},
                    {"addr:postcode", strPost},
                    {"addr:city", town.strName}});
      }
    }
  // A park and the points of interest.
  {
    double pl = l + dx * 0.2, pb = b + dy * (n - 1) - dy * 0.9;
    reg.AddWay(reg.Rect(pl, pb, pl + dx * 0.7, pb + dy * 0.7), {{"leisure", "park"}, {"name", "Парк " + town.strName}});
  }
  size_t cPoi = sizeof c_apszPoiTags / sizeof c_apszPoiTags[0];
  int cRounds = 1 + nSize / 4;
  for (int r = 0; r < cRounds; ++r)
    for (size_t k = 0; k < cPoi; ++k) {
      double plon = l + dx * (n - 1) * rng.Unit(), plat = b + dy * (n - 1) * rng.Unit();
      Tags tags{{c_apszPoiTags[k][0], c_apszPoiTags[k][1]}};
      // A third of the first round stays nameless; the later rounds (regions
      // of --size 4 and more) name every point, fuel stations among them.
      if (k % 3 != 2 || r > 0) tags.push_back({"name", c_apszPoiNames[(k + size_t(r)) % 12]});
      if (std::strcmp(c_apszPoiTags[k][1], "place_of_worship") == 0) tags.push_back({"religion", "christian"});
      int iRow = rng.Range(n);
      tags.push_back({"addr:street", rowNames[size_t(iRow)]});
      tags.push_back({"addr:housenumber", std::to_string(1 + rng.Range(40))});
      tags.push_back({"addr:postcode", strPost});
      reg.AddNode(plon, plat, tags);
    }
}

// What makes a town look like one on the map, added after every other
// object so that the roads, addresses and points keep their ids: each
// block of the street grid a built-up quarter (landuse=residential) with a
// second row of houses on its far side, a square with trees two blocks
// from the park, and a river with its banks along the town's east side,
// widening into a pond at the south-east corner.
void DressTown(CRegion& reg, const Town& town) {
  const int n = town.cStreets;
  if (n < 3) return;
  const double dx = town.fStep * 1.5, dy = town.fStep;
  const double l = town.lon - dx * (n - 1) / 2, b = town.lat - dy * (n - 1) / 2;
  const int m = n / 2;
  const int iParkRow = n - 2, iParkCol = 0;
  const int iSquareRow = 1, iSquareCol = n - 2;
  for (int i = 0; i + 1 < n; ++i)
    for (int j = 0; j + 1 < n; ++j) {
      const double bl = l + dx * j, bb = b + dy * i;
      // The roundabout's block stays open round the ring; the park's block
      // is the park.
      if ((i == m && j == m) || (i == iParkRow && j == iParkCol)) continue;
      // The quarter (or the square) is drawn after the houses: they are its
      // holes.
      std::vector<Member> members;
      for (int64_t house : town.houses[size_t(i * (n - 1) + j)]) members.push_back({'w', house, "inner"});
      const bool fSquare = i == iSquareRow && j == iSquareCol;
      const int cHouses = fSquare ? 0 : 3;
      for (int h = 0; h < cHouses; ++h) {
        double hl = bl + dx * (0.12 + 0.78 * h / cHouses), hb = bb + dy * 0.62;
        members.push_back({'w', reg.AddWay(reg.Rect(hl, hb, hl + dx * 0.58 / cHouses, hb + dy * 0.26), {{"building", "yes"}}),
                           "inner"});
      }
      members.insert(members.begin(),
                     {'w', reg.AddWay(reg.Rect(bl + dx * 0.06, bb + dy * 0.06, bl + dx * 0.94, bb + dy * 0.94), {}), "outer"});
      if (fSquare)
        reg.AddRelation(members, {{"type", "multipolygon"}, {"leisure", "park"}, {"name", "Сквер"}});
      else
        reg.AddRelation(members, {{"type", "multipolygon"}, {"landuse", "residential"}});
    }
  // The river: a band of water with its line (for the name) a little east
  // of the last street, and the pond it feeds.
  const double r = l + dx * (n - 1), t = b + dy * (n - 1);
  auto riverX = [&](double lat) { return r + dx * 0.55 + dx * 0.12 * std::sin((lat - b) / dy * 1.7); };
  const double w = dx * 0.07;
  std::vector<int64_t> west, east, line;
  const int cSteps = 4 * (n + 1);
  for (int k = 0; k <= cSteps; ++k) {
    double lat = b - dy * 1.2 + (t - b + dy * 2.4) * k / cSteps;
    west.push_back(reg.AddNode(riverX(lat) - w, lat));
    east.push_back(reg.AddNode(riverX(lat) + w, lat));
    line.push_back(reg.AddNode(riverX(lat), lat));
  }
  std::vector<int64_t> band(west);
  band.insert(band.end(), east.rbegin(), east.rend());
  band.push_back(band.front());
  reg.AddWay(band, {{"natural", "water"}, {"water", "river"}});
  reg.AddWay(line, {{"waterway", "river"}, {"name", "Светлая"}});
  reg.AddWay(reg.Ring(riverX(b - dy * 0.6) + dx * 0.45, b - dy * 0.6, dx * 0.4, dy * 0.35, 14),
             {{"natural", "water"}, {"name", "Пруд"}});
}

}  // namespace

int main(int argc, char** argv) {
  int nSize = 1;
  std::string strOut;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if ((a == "--size" || a == "-s") && i + 1 < argc) nSize = std::atoi(argv[++i]);
    else if ((a == "-o" || a == "--output") && i + 1 < argc) strOut = argv[++i];
    else {
      std::fprintf(stderr, "usage: demogen [--size N] -o OUT.osm   (N = 1..800, default 1)\n");
      return 2;
    }
  }
  if (strOut.empty() || nSize < 1 || nSize > 800) {
    std::fprintf(stderr, "usage: demogen [--size N] -o OUT.osm   (N = 1..800, default 1)\n");
    return 2;
  }
  Rng rng{0x9E3779B97F4A7C15ull};
  CRegion reg;
  const double lon0 = 37.0, lat0 = 55.0;
  const int cTowns = 3 + nSize;
  const int cCols = int(std::ceil(std::sqrt(double(cTowns))));
  std::vector<Town> towns(static_cast<size_t>(cTowns));
  for (int t = 0; t < cTowns; ++t) {
    Town& town = towns[size_t(t)];
    town.strName = c_apszTowns[t % 16];
    if (t >= 16) town.strName += "-" + std::to_string(t / 16 + 1);
    int row = t / cCols, col = t % cCols;
    town.lon = lon0 + col * 0.3 + (rng.Unit() - 0.5) * 0.05;
    town.lat = lat0 + row * 0.18 + (rng.Unit() - 0.5) * 0.03 + (row > 0 ? 0.03 : 0);
    town.cStreets = t == 0 ? 10 + nSize / 2 : 5 + rng.Range(4) + nSize / 4;
    if (town.cStreets > 40) town.cStreets = 40;
    town.fStep = 0.0025;
    BuildTown(reg, town, t, rng, nSize);
  }
  // The river runs west-east between the first row of towns and the next.
  const double riverLat = lat0 + 0.09;
  auto riverY = [&](double lon) { return riverLat + 0.01 * std::sin((lon - lon0) * 12); };
  {
    std::vector<int64_t> refs;
    for (double lon = lon0 - 0.2; lon <= lon0 + cCols * 0.3 + 0.05; lon += 0.005) refs.push_back(reg.AddNode(lon, riverY(lon)));
    reg.AddWay(refs, {{"waterway", "river"}, {"name", "Быстрая"}});
  }
  // Highways joining neighbouring towns (bridges where they cross the
  // river); a motorway with ramps between the first two.
  auto edgeNode = [&](const Town& t, bool fEast) {
    size_t n = size_t(t.cStreets);
    return fEast ? t.grid[n / 2][n - 1] : t.grid[n / 2][0];
  };
  auto lonLat = [&](int64_t id) { return std::make_pair(reg.nodes[size_t(id - 1)].lon, reg.nodes[size_t(id - 1)].lat); };
  int cRoad = 0;
  // The motorway is one road for both directions (oneway=no); fToll marks
  // a toll road.
  auto highway = [&](int64_t a, int64_t b, const char* pszClass, const std::string& strRef, bool fToll = false) {
    auto [ax, ay] = lonLat(a);
    auto [bx, by] = lonLat(b);
    std::vector<int64_t> before{a}, after;
    bool fCross = (ay - riverY(ax)) * (by - riverY(bx)) < 0;
    const int cSeg = 20;
    int iBridge = -1;
    for (int k = 1; k < cSeg; ++k) {
      double t0 = double(k - 1) / cSeg, t1 = double(k) / cSeg;
      double y0 = ay + (by - ay) * t0, x0 = ax + (bx - ax) * t0, y1 = ay + (by - ay) * t1, x1 = ax + (bx - ax) * t1;
      if (fCross && iBridge < 0 && (y0 - riverY(x0)) * (y1 - riverY(x1)) <= 0) iBridge = k;
    }
    std::vector<int64_t>* pCur = &before;
    Tags tags{{"highway", pszClass}, {"ref", strRef}, {"name", "Трасса " + strRef}};
    if (!std::strcmp(pszClass, "motorway")) tags.push_back({"oneway", "no"});
    if (fToll) tags.push_back({"toll", "yes"});
    for (int k = 1; k < cSeg; ++k) {
      double t = double(k) / cSeg;
      int64_t id = reg.AddNode(ax + (bx - ax) * t, ay + (by - ay) * t);
      pCur->push_back(id);
      if (k == iBridge) {
        // The bridge spans from this node to the next.
        int64_t id2 = reg.AddNode(ax + (bx - ax) * (t + 0.5 / cSeg), ay + (by - ay) * (t + 0.5 / cSeg));
        Tags bridge = tags;
        bridge.push_back({"bridge", "yes"});
        bridge.push_back({"layer", "1"});
        reg.AddWay({id, id2}, bridge);
        after.push_back(id2);
        pCur = &after;
      }
    }
    pCur->push_back(b);
    reg.AddWay(before, tags);
    if (after.size() > 1) reg.AddWay(after, tags);
    ++cRoad;
  };
  for (int t = 0; t + 1 < cTowns; ++t) {
    std::string strRef = "Р-" + std::to_string(100 + t);
    if ((t + 1) % cCols != 0) highway(edgeNode(towns[size_t(t)], true), edgeNode(towns[size_t(t + 1)], false), t == 0 ? "motorway" : "primary", t == 0 ? "М-1" : strRef);
    if (t + cCols < cTowns) {
      const Town& a = towns[size_t(t)];
      const Town& b = towns[size_t(t + cCols)];
      highway(a.grid[size_t(a.cStreets - 1)][size_t(a.cStreets / 2)], b.grid[0][size_t(b.cStreets / 2)], "trunk",
              "А-" + std::to_string(200 + t), t == 1);
    }
  }
  // Motorway ramps at the first town.
  {
    const Town& t = towns[0];
    size_t n = size_t(t.cStreets);
    int64_t a = t.grid[n / 2 + 1][n - 1];
    auto [x, y] = lonLat(a);
    int64_t m = reg.AddNode(x + 0.004, y - 0.001);
    reg.AddWay({a, m, edgeNode(t, true)}, {{"highway", "motorway_link"}, {"oneway", "yes"}});
    reg.AddNode(x + 0.002, y - 0.0015, {{"highway", "motorway_junction"}, {"ref", "1"}, {"name", "Берёзовка"}});
  }
  // The ring road around the first town.
  {
    const Town& t = towns[0];
    double r = t.fStep * 1.5 * (t.cStreets / 2 + 1.5);
    std::vector<int64_t> ring = reg.Ring(t.lon, t.lat, r, r / 1.5, 48);
    reg.AddWay(ring, {{"highway", "primary"}, {"name", "Кольцевая дорога"}, {"oneway", "no"}});
    size_t n = size_t(t.cStreets);
    reg.AddWay({t.grid[n / 2][0], ring[24]}, {{"highway", "secondary"}, {"name", "Западный выезд"}});
  }
  // Lakes, one with an island (a multipolygon), and forests.
  for (int k = 0; k < 2 + nSize; ++k) {
    double lon = lon0 + 0.15 + (k % cCols) * 0.3 + (rng.Unit() - 0.5) * 0.04;
    double lat = lat0 + 0.05 + (k / cCols) * 0.18 + (rng.Unit() - 0.5) * 0.02;
    if (k == 0) {
      int64_t outer = reg.AddWay(reg.Ring(lon, lat, 0.02, 0.012, 24, &rng), {});
      int64_t inner = reg.AddWay(reg.Ring(lon, lat, 0.005, 0.003, 10), {{"place", "island"}, {"name", "Остров Дальний"}});
      reg.AddRelation({{'w', outer, "outer"}, {'w', inner, "inner"}},
                      {{"type", "multipolygon"}, {"natural", "water"}, {"water", "lake"}, {"name", "Озеро Глубокое"}});
    } else {
      reg.AddWay(reg.Ring(lon, lat, 0.008, 0.005, 16, &rng),
                 {{"natural", "water"}, {"name", "Озеро " + std::string(c_apszPoiNames[k % 12])}});
    }
    double flon = lon0 - 0.1 + (k % cCols) * 0.3, flat = lat0 + 0.12 + (k / cCols) * 0.18;
    reg.AddWay(reg.Ring(flon, flat, 0.03, 0.015, 20, &rng), {{"landuse", "forest"}, {"name", "Бор"}});
  }
  // Railway across the region with its stations.
  {
    std::vector<int64_t> refs;
    for (int t = 0; t < cTowns; t += 1) {
      const Town& town = towns[size_t(t)];
      refs.push_back(reg.AddNode(town.lon + 0.006, town.lat - 0.006));
    }
    reg.AddWay(refs, {{"railway", "rail"}, {"name", "Главный ход"}});
  }

  for (const Town& town : towns) DressTown(reg, town);

  FILE* f = std::fopen(strOut.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "demogen: cannot write %s\n", strOut.c_str());
    return 1;
  }
  double minLon = 1e9, minLat = 1e9, maxLon = -1e9, maxLat = -1e9;
  for (const Node& n : reg.nodes) {
    minLon = std::fmin(minLon, n.lon), maxLon = std::fmax(maxLon, n.lon);
    minLat = std::fmin(minLat, n.lat), maxLat = std::fmax(maxLat, n.lat);
  }
  const char* pszMeta = "version=\"1\" timestamp=\"2026-01-01T00:00:00Z\"";
  std::fprintf(f, "<?xml version='1.0' encoding='UTF-8'?>\n<osm version=\"0.6\" generator=\"velmo-demogen\">\n");
  std::fprintf(f, "  <bounds minlat=\"%.7f\" minlon=\"%.7f\" maxlat=\"%.7f\" maxlon=\"%.7f\"/>\n", minLat, minLon, maxLat,
               maxLon);
  for (const Node& n : reg.nodes) {
    std::fprintf(f, "  <node id=\"%lld\" %s lat=\"%.7f\" lon=\"%.7f\"", (long long)n.id, pszMeta, n.lat, n.lon);
    if (n.tags.empty()) {
      std::fputs("/>\n", f);
    } else {
      std::fputs(">\n", f);
      WriteTags(f, n.tags);
      std::fputs("  </node>\n", f);
    }
  }
  for (const Way& w : reg.ways) {
    std::fprintf(f, "  <way id=\"%lld\" %s>\n", (long long)w.id, pszMeta);
    for (int64_t ref : w.nodes) std::fprintf(f, "    <nd ref=\"%lld\"/>\n", (long long)ref);
    WriteTags(f, w.tags);
    std::fputs("  </way>\n", f);
  }
  for (const Relation& r : reg.relations) {
    std::fprintf(f, "  <relation id=\"%lld\" %s>\n", (long long)r.id, pszMeta);
    for (const Member& m : r.members)
      std::fprintf(f, "    <member type=\"%s\" ref=\"%lld\" role=\"%s\"/>\n", m.type == 'n' ? "node" : "way",
                   (long long)m.ref, m.role.c_str());
    WriteTags(f, r.tags);
    std::fputs("  </relation>\n", f);
  }
  std::fputs("</osm>\n", f);
  bool fOk = std::fflush(f) == 0;
  fOk = std::fclose(f) == 0 && fOk;
  if (!fOk) {
    std::fprintf(stderr, "demogen: cannot write %s\n", strOut.c_str());
    return 1;
  }
  std::printf("demogen: %zu nodes, %zu ways, %zu relations, %d towns -> %s\n", reg.nodes.size(), reg.ways.size(),
              reg.relations.size(), cTowns, strOut.c_str());
  return 0;
}
