// vel_seedgen: writes native maps with the map writer for the reader's
// fuzzer, larger and richer than the small seeds kept in the tree: three
// levels of points, lines and areas with inline and shared labels in both
// code sets, and maps that carry the road graph bits and address blocks
// (coded and fixed-width), in both header layouts, and a road network with
// turn restrictions for the route search. The same bytes on every
// run.
//
//   vel_seedgen OUT_DIR
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "map/MapParser.h"
#include "tools/velc/VelWriter.h"

namespace {

const uint16_t c_awCodes[3] = {18, 21, 24};
// 37°E, 55°N in map units (2^30 units are 180°).
const int32_t c_x0 = 220713597, c_y0 = 328087780;

std::u16string RandomName(std::mt19937& rng, size_t cMin, size_t cMax) {
  static const char16_t c_alphabet[] =
      u"абвгдеёжзийклмнопрстуфхцчшщыэюяАБВГДЕЖЗИКЛМНОПРСТУФabcdefghijklmnopqrstuvwxyz -.0123456789";
  size_t n = cMin + rng() % (cMax - cMin + 1);
  std::u16string s;
  for (size_t i = 0; i < n; ++i) s.push_back(c_alphabet[rng() % (sizeof c_alphabet / 2 - 1)]);
  return s;
}

std::vector<VelLevelInput> MakeLevels(unsigned nSeed, int cPerLevel, bool fRoadsAndAddresses) {
  std::mt19937 rng(nSeed);
  std::vector<VelLevelInput> levels(3);
  const std::u16string shared[] = {u"улица Ленина", u"Main Street", u"Садовая улица", u"Река Быстрая"};
  uint16_t wNextType = 1;
  for (int iLevel = 0; iLevel < 3; ++iLevel) {
    levels[size_t(iLevel)].wLevelCode = c_awCodes[iLevel];
    for (int i = 0; i < cPerLevel; ++i) {
      VelObject obj;
      obj.nKind = int(rng() % 3);
      obj.wType = wNextType++;
      int32_t x = c_x0 + int32_t(rng() % 4000000), y = c_y0 + int32_t(rng() % 3000000);
      size_t cPoints = obj.nKind == rkPoint ? 1 : 2 + rng() % 40;
      for (size_t k = 0; k < cPoints; ++k) {
        obj.points.push_back(MapPoint{x, y});
        x += int32_t(rng() % 20001) - 10000;
        y += int32_t(rng() % 20001) - 10000;
      }
      switch (rng() % 5) {
        case 0: break;
        case 1: obj.strLabel = shared[rng() % 4]; break;
        case 2: obj.strLabel = RandomName(rng, 40, 90); break;
        default: obj.strLabel = RandomName(rng, 1, 20);
      }
      obj.fDirection = obj.nKind == rkPolyline && rng() % 2;
      if (fRoadsAndAddresses) {
        obj.fHasAddress = rng() % 2;
        obj.fExtraAddressBit = rng() % 2;
        for (uint32_t& v : obj.adwAddress) v = rng() % 300;
        if (obj.nKind == rkPolyline) {
          obj.fHasNodes = rng() % 3 != 0;
          obj.fHasAttributes = rng() % 2;
          obj.wRoadAttributes = uint16_t(rng());
          for (size_t k = 0; k < obj.points.size(); ++k)
            obj.nodeIndex.push_back(rng() % 2 ? int32_t(rng() % 5000) : -1);
        }
      }
      levels[size_t(iLevel)].objects.push_back(obj);
    }
  }
  return levels;
}

bool Write(const std::string& strPath, const VelWriterOptions& opt, const std::vector<VelLevelInput>& levels) {
  std::vector<uint8_t> bytes;
  std::string strError;
  if (!WriteVelMap(opt, levels, bytes, strError)) {
    std::fprintf(stderr, "vel_seedgen: %s: %s\n", strPath.c_str(), strError.c_str());
    return false;
  }
  FILE* f = std::fopen(strPath.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "vel_seedgen: cannot write %s\n", strPath.c_str());
    return false;
  }
  bool fOk = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  fOk = std::fclose(f) == 0 && fOk;
  return fOk;
}

// A road network the route search can walk: a 12 x 12 grid of nodes about
// 150 m apart around the map's middle (the route's two points), roads with
// random one-way bits, speeds and vehicle bits, a ring of roundabout pieces,
// and turn restrictions at some crossings.
std::vector<VelLevelInput> MakeRoadNet(VelWriterOptions& opt) {
  std::mt19937 rng(4242);
  const int n = 12;
  const int32_t c_nStep = 8000;
  std::vector<VelLevelInput> levels(1);
  levels[0].wLevelCode = 26;
  std::vector<MapPoint> nodes;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      nodes.push_back(MapPoint{c_x0 + i * c_nStep + int32_t(rng() % 2000), c_y0 + j * c_nStep + int32_t(rng() % 2000)});
  auto road = [&](int a, int b, uint16_t wType) {
    VelObject obj;
    obj.nKind = rkPolyline;
    obj.wType = wType;
    obj.strLabel = RandomName(rng, 3, 12);
    obj.fHasNodes = obj.fHasAttributes = true;
    obj.wRoadAttributes = uint16_t((rng() % 64) | (rng() % 5 == 0 ? 0x40 : 0) | (rng() % 9 == 0 ? 0x0400 : 0));
    const MapPoint& pa = nodes[size_t(a)];
    const MapPoint& pb = nodes[size_t(b)];
    obj.points = {pa, MapPoint{(pa.x + pb.x) / 2 + int32_t(rng() % 500), (pa.y + pb.y) / 2}, pb};
    obj.nodeIndex = {a, -1, b};
    levels[0].objects.push_back(obj);
  };
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      if (i + 1 < n) road(i * n + j, (i + 1) * n + j, uint16_t(rng() % 2 ? 1 : 6));
      if (j + 1 < n) road(i * n + j, i * n + j + 1, uint16_t(rng() % 3 ? 6 : 10));
    }
  // A roundabout round the block at (5, 5).
  const int aRing[4] = {5 * n + 5, 6 * n + 5, 6 * n + 6, 5 * n + 6};
  for (int k = 0; k < 4; ++k) {
    road(aRing[k], aRing[(k + 1) % 4], 12);
    levels[0].objects.back().wRoadAttributes |= 0x40;
  }
  // Restrictions: from the road west of a crossing to the road north of it.
  for (uint32_t k = 0; k < levels[0].objects.size() && opt.restrictions.size() < 20; k += 23) {
    const VelObject& from = levels[0].objects[k];
    const uint32_t cNode = uint32_t(from.nodeIndex[2]);
    for (uint32_t m = 0; m < levels[0].objects.size(); ++m)
      if (m != k && uint32_t(levels[0].objects[m].nodeIndex[0]) == cNode) {
        opt.restrictions.push_back(VelTurnRestriction{uint32_t(from.nodeIndex[0]), cNode,
                                                      uint32_t(levels[0].objects[m].nodeIndex[2]), k, m});
        break;
      }
  }
  // Roads kept to the ends of a route and unpaved ones (the road access
  // table), and a few barrier nodes.
  for (size_t k = 0; k < levels[0].objects.size(); k += 7) {
    levels[0].objects[k].btRoadThrough = uint8_t(rng() % 2 ? 0x04 : 0xFF);
    levels[0].objects[k].btRoadFlags = uint8_t(rng() % 2);
  }
  for (uint32_t k = 3; k < nodes.size(); k += 37) opt.barriers.push_back(VelBarrierInput{k, 0x9F00});
  // The nodes of the grid's first row meet a neighbouring map there.
  for (uint32_t k = 0; k < uint32_t(n) && k < nodes.size(); ++k)
    opt.borderKeys.push_back(VelBorderKeyInput{k, 7000000000ull + k});
  opt.dwNodeCount = uint32_t(nodes.size());
  return levels;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vel_seedgen OUT_DIR\n");
    return 2;
  }
  std::string strDir = argv[1];
  bool fOk = true;
  {
    VelWriterOptions opt;
    opt.strName = u"Seed map";
    opt.strNotice = u"Generated|for the fuzzer";
    opt.cBlockCell = 2048;
    fOk &= Write(strDir + "/builder-extended.vel", opt, MakeLevels(1234, 300, false));
    opt.fExtended = false;
    opt.fSharedLabels = false;
    opt.nCodeSet = 3;
    fOk &= Write(strDir + "/builder-legacy-inline.vel", opt, MakeLevels(99, 150, false));
  }
  for (bool fFixed : {false, true}) {
    VelWriterOptions opt;
    opt.fExtended = !fFixed;
    opt.dwNodeCount = 5000;
    opt.fAddresses = true;
    opt.fExtraAddressBit = true;
    opt.fFixedWidthAddresses = fFixed;
    opt.cBlockCell = 512;
    fOk &= Write(strDir + (fFixed ? "/builder-roads-fixed-addresses.vel" : "/builder-roads-addresses.vel"), opt,
                 MakeLevels(77, 150, true));
  }
  {
    // The city index and the object name index over named points.
    VelWriterOptions opt;
    std::vector<VelLevelInput> levels = MakeLevels(4242, 200, false);
    VelIndexInput& in = opt.index;
    in.fCityIndex = in.fObjectIndex = true;
    in.countries = {u"Country", u"RU|Russia"};
    in.regions = {{u"R1|Region one", 0}, {u"Region two", 1}, {u"", 1}};
    std::vector<VelObject>& finest = levels.back().objects;
    for (size_t i = 0; i < finest.size() && in.cities.size() < 9; ++i)
      if (finest[i].nKind == rkPoint && !finest[i].strLabel.empty())
        in.cities.push_back(VelCityInput{finest[i].strLabel, uint32_t(in.cities.size() % 3), int32_t(i)});
    in.cities.push_back(VelCityInput{u"No place", 2, -1});
    in.lists[0] = {u"125009", u"101000"};
    in.lists[1] = {u"Main street", u"Second street", u"Third"};
    in.lists[2] = {u"1", u"2a", u"10"};
    uint32_t n = 0;
    for (VelObject& obj : finest) {
      ++n;
      if (n % 3 == 0) {
        obj.fHasAddress = true;
        obj.adwAddress[0] = n % uint32_t(in.cities.size() + 1);
        obj.adwAddress[1] = n % 3;
        obj.adwAddress[2] = n % 4;
        obj.adwAddress[3] = n % 4;
      } else {
        obj.nIndexCity = n % uint32_t(in.cities.size() + 1);
      }
    }
    fOk &= Write(strDir + "/builder-indexes.vel", opt, levels);
  }
  {
    VelWriterOptions opt;
    opt.strName = u"Road network";
    std::vector<VelLevelInput> levels = MakeRoadNet(opt);
    fOk &= Write(strDir + "/builder-road-network.vel", opt, levels);
  }
  return fOk ? 0 : 1;
}
