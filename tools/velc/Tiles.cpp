#include "tools/velc/Tiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <atomic>

#include <fcntl.h>
#include <stdio.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "map/MapParser.h"
#include "map/vidx/VidxBuilder.h"
#include "map/vidx/VidxFormat.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "tools/velc/ObjectStore.h"
#include "tools/velc/Parts.h"
#include "tools/velc/Progress.h"

namespace {

// The planning grid: the extent in c_cGrid x c_cGrid cells.
const uint32_t c_cGrid = 128;

bool BoundsOf(const MapPoint* pPoints, size_t cPoints, MapRect& r) {
  if (cPoints == 0) return false;
  r = MapRect{pPoints[0].x, pPoints[0].y, pPoints[0].x, pPoints[0].y};
  for (size_t i = 0; i < cPoints; ++i) {
    const MapPoint& p = pPoints[i];
    r.left = std::min(r.left, p.x);
    r.right = std::max(r.right, p.x);
    r.top = std::min(r.top, p.y);
    r.bottom = std::max(r.bottom, p.y);
  }
  return true;
}

// Whether an object goes into the tile: a point when the tile holds it (the
// tiles do not overlap, so a point goes into one), another object when its
// bounds touch the tile. An object without points goes into the first tile.
bool InTile(const CObjectSource& src, size_t iLevel, size_t i, const MapRect& rect, bool fFirst) {
  size_t cPoints = 0;
  const MapPoint* pPoints = src.Points(iLevel, i, cPoints);
  if (cPoints == 0) return fFirst;
  if (src.Kind(iLevel, i) == rkPoint || cPoints == 1) return rect.Contains(pPoints[0]);
  for (size_t k = 0; k < cPoints; ++k)
    if (rect.Contains(pPoints[k])) return true;
  MapRect r;
  BoundsOf(pPoints, cPoints, r);
  return rect.Intersects(r);
}

// The bounds of every object by level (empty for an object without
// points), made once: the tiles are planned by them, and a tile's objects
// are found among those whose bounds touch it, instead of by the points of
// every object of the map for every tile.
typedef std::vector<std::vector<MapRect>> ObjectBoxes;
const MapRect c_rectNoPoints{0, 0, -1, -1};

// cJobs threads share each level's objects.
void MakeObjectBoxes(const CObjectSource& src, ObjectBoxes& boxes, unsigned cJobs) {
  boxes.assign(src.LevelCount(), std::vector<MapRect>());
  for (size_t iLevel = 0; iLevel < src.LevelCount(); ++iLevel) {
    std::vector<MapRect>& out = boxes[iLevel];
    out.resize(src.Count(iLevel));
    RunParts(0, out.size(), PartCount(out.size(), cJobs, 4096), [&](size_t iBegin, size_t iEnd, unsigned) {
      for (size_t i = iBegin; i < iEnd; ++i) {
        size_t cPoints = 0;
        const MapPoint* pPoints = src.Points(iLevel, i, cPoints);
        if (!BoundsOf(pPoints, cPoints, out[i])) out[i] = c_rectNoPoints;
      }
    });
    src.Trim();
  }
}

// Cell boundaries of the planning grid over one axis of the extent.
struct GridAxis {
  int32_t nMin = 0;
  int64_t cSpan = 1;  // coordinates covered (max - min + 1)
  uint32_t CellOf(int32_t v) const {
    return uint32_t(std::min<int64_t>(int64_t(c_cGrid) - 1, (int64_t(v) - nMin) * c_cGrid / cSpan));
  }
  // The first coordinate of cell k (k = c_cGrid: one past the extent).
  int64_t Start(uint32_t k) const { return nMin + int64_t(k) * cSpan / c_cGrid; }
};

struct LargeObject {
  uint16_t c0, r0, c1, r1;  // cells covered, inclusive
  uint32_t cb;
};

class CTilePlanner {
 public:
  CTilePlanner(const CObjectSource& src, const ObjectBoxes& boxes, uint64_t cbBudget, unsigned cJobs)
      : m_cbBudget(cbBudget) {
    MapRect ext{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (size_t iLevel = 0; iLevel < src.LevelCount(); ++iLevel)
      for (const MapRect& r : boxes[iLevel]) {
        if (r.IsEmpty()) continue;
        ext.left = std::min(ext.left, r.left);
        ext.right = std::max(ext.right, r.right);
        ext.top = std::min(ext.top, r.top);
        ext.bottom = std::max(ext.bottom, r.bottom);
      }
    if (ext.IsEmpty()) ext = MapRect{0, 0, 0, 0};
    m_ext = ext;
    m_x.nMin = ext.left, m_x.cSpan = int64_t(ext.right) - ext.left + 1;
    m_y.nMin = ext.top, m_y.cSpan = int64_t(ext.bottom) - ext.top + 1;
    // Small objects count in the cell of their centre, the others in every
    // part of the extent their bounds reach; cJobs threads share each level
    // (their sums and their lists of large objects, joined in order, are
    // those of one thread).
    std::vector<uint64_t> cells(size_t(c_cGrid) * c_cGrid, 0);
    for (size_t iLevel = 0; iLevel < src.LevelCount(); ++iLevel) {
      const size_t c = src.Count(iLevel);
      const unsigned cParts = PartCount(c, cJobs, 4096);
      // Part 0 adds to the sums and the list themselves.
      std::vector<std::vector<uint64_t>> partCells(cParts);
      std::vector<std::vector<LargeObject>> partLarge(cParts);
      for (unsigned t = 1; t < cParts; ++t) partCells[t].assign(cells.size(), 0);
      RunParts(0, c, cParts, [&](size_t iBegin, size_t iEnd, unsigned iPart) {
        std::vector<uint64_t>& sums = iPart ? partCells[iPart] : cells;
        std::vector<LargeObject>& large = iPart ? partLarge[iPart] : m_large;
        for (size_t i = iBegin; i < iEnd; ++i) {
          const MapRect& r = boxes[iLevel][i];
          if (r.IsEmpty()) continue;
          const uint32_t cb = EstimateObjectBytes(src, iLevel, i);
          const uint32_t c0 = m_x.CellOf(r.left), c1 = m_x.CellOf(r.right);
          const uint32_t r0 = m_y.CellOf(r.top), r1 = m_y.CellOf(r.bottom);
          if (c1 - c0 <= 1 && r1 - r0 <= 1) {
            const int32_t cx = int32_t((int64_t(r.left) + r.right) / 2), cy = int32_t((int64_t(r.top) + r.bottom) / 2);
            sums[size_t(m_y.CellOf(cy)) * c_cGrid + m_x.CellOf(cx)] += cb;
          } else {
            large.push_back(LargeObject{uint16_t(c0), uint16_t(r0), uint16_t(c1), uint16_t(r1), cb});
          }
        }
      });
      for (unsigned t = 1; t < cParts; ++t) {
        for (size_t k = 0; k < cells.size(); ++k) cells[k] += partCells[t][k];
        m_large.insert(m_large.end(), partLarge[t].begin(), partLarge[t].end());
      }
    }
    // Sums over the rectangles from cell (0, 0).
    m_sums.assign(size_t(c_cGrid + 1) * (c_cGrid + 1), 0);
    for (uint32_t r = 0; r < c_cGrid; ++r)
      for (uint32_t c = 0; c < c_cGrid; ++c)
        Sum(c + 1, r + 1) = cells[size_t(r) * c_cGrid + c] + Sum(c, r + 1) + Sum(c + 1, r) - Sum(c, r);
  }

  std::vector<MapRect> Plan() {
    std::vector<MapRect> out;
    Split(0, c_cGrid, 0, c_cGrid, out);
    return out;
  }

 private:
  uint64_t& Sum(uint32_t c, uint32_t r) { return m_sums[size_t(r) * (c_cGrid + 1) + c]; }

  // The estimate of the cells [c0, c1) x [r0, r1).
  uint64_t Estimate(uint32_t c0, uint32_t c1, uint32_t r0, uint32_t r1) {
    uint64_t cb = Sum(c1, r1) - Sum(c0, r1) - Sum(c1, r0) + Sum(c0, r0);
    for (const LargeObject& o : m_large)
      if (o.c0 < c1 && c0 <= o.c1 && o.r0 < r1 && r0 <= o.r1) cb += o.cb;
    return cb;
  }

  MapRect RectOf(uint32_t c0, uint32_t c1, uint32_t r0, uint32_t r1) const {
    return MapRect{int32_t(m_x.Start(c0)), int32_t(m_y.Start(r0)), int32_t(m_x.Start(c1) - 1),
                   int32_t(m_y.Start(r1) - 1)};
  }

  // Halves a part that is over the budget across its longer side, where the
  // two halves' estimates are most even.
  void Split(uint32_t c0, uint32_t c1, uint32_t r0, uint32_t r1, std::vector<MapRect>& out) {
    if ((c1 - c0 == 1 && r1 - r0 == 1) || Estimate(c0, c1, r0, r1) <= m_cbBudget) {
      out.push_back(RectOf(c0, c1, r0, r1));
      return;
    }
    const int64_t cWide = m_x.Start(c1) - m_x.Start(c0), cHigh = m_y.Start(r1) - m_y.Start(r0);
    const bool fAcross = c1 - c0 > 1 && (cWide >= cHigh || r1 - r0 == 1);  // cut by a vertical line
    const uint32_t a = fAcross ? c0 : r0, b = fAcross ? c1 : r1;
    uint32_t kBest = a + (b - a) / 2;
    uint64_t cbBest = UINT64_MAX;
    for (uint32_t k = a + 1; k < b; ++k) {
      const uint64_t cbA = fAcross ? Estimate(c0, k, r0, r1) : Estimate(c0, c1, r0, k);
      const uint64_t cbB = fAcross ? Estimate(k, c1, r0, r1) : Estimate(c0, c1, k, r1);
      if (std::max(cbA, cbB) < cbBest) cbBest = std::max(cbA, cbB), kBest = k;
    }
    if (fAcross) {
      Split(c0, kBest, r0, r1, out);
      Split(kBest, c1, r0, r1, out);
    } else {
      Split(c0, c1, r0, kBest, out);
      Split(c0, c1, kBest, r1, out);
    }
  }

  uint64_t m_cbBudget;
  MapRect m_ext;
  GridAxis m_x, m_y;
  std::vector<uint64_t> m_sums;
  std::vector<LargeObject> m_large;
};

// Renumbering of a list (cities, names): old number -> new, -1 = not used.
struct Renumber {
  std::vector<int32_t> map;
  uint32_t cUsed = 0;
  void Use(uint32_t i) {
    if (i < map.size() && map[i] < 0) map[i] = 0;
  }
  // Numbers the used entries in their old order.
  void Finish() {
    cUsed = 0;
    for (int32_t& n : map)
      if (n >= 0) n = int32_t(cUsed++);
  }
  // A 1-based value (0 = none) renumbered.
  uint32_t Value(uint32_t v) const { return v && v - 1 < map.size() && map[v - 1] >= 0 ? uint32_t(map[v - 1]) + 1 : 0; }
};

bool SplitRect(const MapRect& r, MapRect& a, MapRect& b) {
  if (r.Width() == 0 && r.Height() == 0) return false;
  a = b = r;
  if (r.Width() >= r.Height()) {
    const int32_t m = int32_t(r.left + r.Width() / 2);
    a.right = m;
    b.left = m + 1;
  } else {
    const int32_t m = int32_t(r.top + r.Height() / 2);
    a.bottom = m;
    b.top = m + 1;
  }
  return true;
}

// Makes the folder's entries durable.
void SyncFolder(const std::string& strFolder) {
  const int fd = ::open(strFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool IsTileFileName(const std::string& str) {
  if (str.size() < 11 || str.compare(0, 4, "tile") || str.compare(str.size() - 4, 4, ".vel")) return false;
  for (size_t i = 4; i + 4 < str.size(); ++i)
    if (str[i] < '0' || str[i] > '9') return false;
  return true;
}

}  // namespace

uint32_t EstimateObjectBytes(const CObjectSource& src, size_t iLevel, size_t i) {
  // The record's header and label reference and the points' deltas (the
  // demo region's buildings take 9 to 10 bytes with five points; a
  // tile the estimate leaves too large is halved after all).
  size_t cPoints = 0;
  src.Points(iLevel, i, cPoints);
  uint64_t cb = 6 + 2 * uint64_t(cPoints);
  return uint32_t(std::min<uint64_t>(cb, UINT32_MAX));
}

std::vector<MapRect> PlanTiles(const CObjectSource& src, uint64_t cbBudget, unsigned cJobs) {
  ObjectBoxes boxes;
  MakeObjectBoxes(src, boxes, cJobs);
  return CTilePlanner(src, boxes, cbBudget, cJobs).Plan();
}
std::vector<MapRect> PlanTiles(const std::vector<VelLevelInput>& levels, uint64_t cbBudget, unsigned cJobs) {
  return PlanTiles(CLevelsSource(levels), cbBudget, cJobs);
}

void ExtractTile(const VelWriterOptions& options, const std::vector<VelLevelInput>& levels, const MapRect& rect,
                 bool fFirst, VelWriterOptions& tileOptions, std::vector<VelLevelInput>& tileLevels) {
  ExtractTile(options, CLevelsSource(levels), rect, fFirst, tileOptions, tileLevels);
}

namespace {

void ExtractTileOf(const VelWriterOptions& options, const CObjectSource& src, const ObjectBoxes* pBoxes,
                   const MapRect& rect, bool fFirst, VelWriterOptions& tileOptions,
                   std::vector<VelLevelInput>& tileLevels);

}  // namespace

void ExtractTile(const VelWriterOptions& options, const CObjectSource& src, const MapRect& rect, bool fFirst,
                 VelWriterOptions& tileOptions, std::vector<VelLevelInput>& tileLevels) {
  ExtractTileOf(options, src, nullptr, rect, fFirst, tileOptions, tileLevels);
}

namespace {

void ExtractTileOf(const VelWriterOptions& options, const CObjectSource& src, const ObjectBoxes* pBoxes,
                   const MapRect& rect, bool fFirst, VelWriterOptions& tileOptions,
                   std::vector<VelLevelInput>& tileLevels) {
  // Everything but the objects' lists is taken over as it is.
  {
    VelWriterOptions& t = tileOptions;
    t.fExtended = options.fExtended;
    t.strName = options.strName;
    t.strNotice = options.strNotice;
    t.wYear = options.wYear, t.btMonth = options.btMonth, t.btDay = options.btDay;
    t.dwLocale = options.dwLocale;
    t.strTypeSet = options.strTypeSet;
    t.dwLabelFlags = options.dwLabelFlags;
    t.wScaleFirst = options.wScaleFirst, t.wScaleLast = options.wScaleLast;
    t.fSharedLabels = options.fSharedLabels;
    t.nCodeSet = options.nCodeSet;
    t.fAddresses = options.fAddresses;
    t.fExtraAddressBit = options.fExtraAddressBit;
    t.fFixedWidthAddresses = options.fFixedWidthAddresses;
    t.dwCityIndexOffset = options.dwCityIndexOffset;
    t.cBlockCell = options.cBlockCell;
    t.cbObjectDataLimit = options.cbObjectDataLimit;
    t.fClipBounds = true;
    t.rectClipBounds = rect;
    t.dwNodeCount = 0;
    t.restrictions.clear();
    t.barriers.clear();
    t.borderKeys.clear();
    t.nodeKeys.clear();
    t.index = VelIndexInput();
  }
  const size_t cLevels = src.LevelCount();
  tileLevels.assign(cLevels, VelLevelInput());
  std::vector<int32_t> finestNew;  // finest level object -> its number in the tile
  for (size_t iLevel = 0; iLevel < cLevels; ++iLevel) {
    const size_t cObjects = src.Count(iLevel);
    tileLevels[iLevel].wLevelCode = src.LevelCode(iLevel);
    std::vector<VelObject>& out = tileLevels[iLevel].objects;
    const bool fFinest = iLevel + 1 == cLevels;
    if (fFinest) finestNew.assign(cObjects, -1);
    // An object goes into the tile only where its bounds touch it (a point
    // lies in them, a line's points or bounds touch the tile).
    const std::vector<MapRect>* pLevelBoxes = pBoxes ? &(*pBoxes)[iLevel] : nullptr;
    auto in = [&](size_t i) {
      if (pLevelBoxes) {
        const MapRect& box = (*pLevelBoxes)[i];
        if (!box.IsEmpty() && !rect.Intersects(box)) return false;
      }
      return InTile(src, iLevel, i, rect, fFirst);
    };
    size_t cIn = 0;
    for (size_t i = 0; i < cObjects; ++i) cIn += in(i);
    out.reserve(cIn);
    for (size_t i = 0; i < cObjects; ++i) {
      if (!in(i)) continue;
      if (fFinest) finestNew[i] = int32_t(out.size());
      out.emplace_back();
      src.Get(iLevel, i, out.back());
    }
  }

  // The road graph: the nodes the tile's roads use, numbered in the order
  // they are met.
  if (options.dwNodeCount) {
    std::vector<int32_t> nodeNew(options.dwNodeCount, -1);
    uint32_t cNodes = 0;
    // The border keys: the nodes of every road that leaves the rectangle
    // (it goes whole into the tiles on both sides, so both list them).
    const bool fKeys = options.fExtended && options.nodeKeys.size() == options.dwNodeCount;
    std::vector<uint32_t> borderNodes;  // old numbers
    for (VelLevelInput& lv : tileLevels)
      for (VelObject& obj : lv.objects) {
        bool fLeaves = false;
        if (fKeys && !obj.nodeIndex.empty())
          for (const MapPoint& p : obj.points)
            if (!rect.Contains(p)) {
              fLeaves = true;
              break;
            }
        for (int32_t& n : obj.nodeIndex) {
          if (n < 0) continue;
          if (uint32_t(n) >= options.dwNodeCount) {
            n = -1;
            continue;
          }
          if (fLeaves) borderNodes.push_back(uint32_t(n));
          if (nodeNew[size_t(n)] < 0) nodeNew[size_t(n)] = int32_t(cNodes++);
          n = nodeNew[size_t(n)];
        }
      }
    tileOptions.dwNodeCount = cNodes;
    auto mapped = [&nodeNew](uint32_t n) { return n < nodeNew.size() ? nodeNew[n] : -1; };
    // The map's own border (roads leaving the extract) stays a border.
    for (const VelBorderKeyInput& k : options.borderKeys) {
      const int32_t n = mapped(k.nNode);
      if (n >= 0) tileOptions.borderKeys.push_back(VelBorderKeyInput{uint32_t(n), k.qwKey});
    }
    if (fKeys)
      for (uint32_t nOld : borderNodes)
        if (options.nodeKeys[nOld])
          tileOptions.borderKeys.push_back(VelBorderKeyInput{uint32_t(nodeNew[nOld]), options.nodeKeys[nOld]});
    for (const VelTurnRestriction& r : options.restrictions) {
      if (r.iFromObject >= finestNew.size() || r.iToObject >= finestNew.size()) continue;
      const int32_t iFrom = finestNew[r.iFromObject], iTo = finestNew[r.iToObject];
      const int32_t nFrom = mapped(r.cFromNode), nVia = mapped(r.cNode), nTo = mapped(r.cToNode);
      if (iFrom < 0 || iTo < 0 || nFrom < 0 || nVia < 0 || nTo < 0) continue;
      tileOptions.restrictions.push_back(
          VelTurnRestriction{uint32_t(nFrom), uint32_t(nVia), uint32_t(nTo), uint32_t(iFrom), uint32_t(iTo)});
    }
    for (const VelBarrierInput& b : options.barriers) {
      const int32_t n = mapped(b.nNode);
      if (n >= 0) tileOptions.barriers.push_back(VelBarrierInput{uint32_t(n), b.wDeny});
    }
  }

  // The indexes: the cities and names the tile's objects use.
  const VelIndexInput& in = options.index;
  VelIndexInput& idx = tileOptions.index;
  idx.fObjectIndex = in.fObjectIndex;
  idx.pfnCategory = in.pfnCategory;
  idx.fCityIndex = in.fCityIndex;
  if (!in.fCityIndex || tileLevels.empty()) return;
  idx.countries = in.countries;
  idx.regions = in.regions;
  Renumber cities, lists[3];
  cities.map.assign(in.cities.size(), -1);
  for (int k = 0; k < 3; ++k) lists[k].map.assign(in.lists[k].size(), -1);
  std::vector<VelObject>& finest = tileLevels.back().objects;
  for (const VelObject& obj : finest) {
    if (obj.fHasAddress) {
      if (obj.adwAddress[0]) cities.Use(obj.adwAddress[0] - 1);
      for (int k = 0; k < 3; ++k)
        if (obj.adwAddress[k + 1]) lists[k].Use(obj.adwAddress[k + 1] - 1);
    }
    if (obj.nIndexCity) cities.Use(obj.nIndexCity - 1);
  }
  for (size_t i = 0; i < in.cities.size(); ++i) {
    const int32_t iPlace = in.cities[i].iPlaceObject;
    if (iPlace >= 0 && size_t(iPlace) < finestNew.size() && finestNew[size_t(iPlace)] >= 0) cities.Use(uint32_t(i));
  }
  if (fFirst) {
    // The cities that no tile would list: no object of theirs, none named.
    std::vector<bool> named(in.cities.size(), false);
    const size_t iFinest = cLevels - 1, cFinest = src.Count(iFinest);
    VelObject obj;
    for (size_t i = 0; i < cFinest; ++i) {
      src.Get(iFinest, i, obj);
      if (obj.fHasAddress && obj.adwAddress[0] && obj.adwAddress[0] - 1 < named.size()) named[obj.adwAddress[0] - 1] = true;
      if (obj.nIndexCity && obj.nIndexCity - 1 < named.size()) named[obj.nIndexCity - 1] = true;
    }
    for (size_t i = 0; i < in.cities.size(); ++i) {
      const int32_t iPlace = in.cities[i].iPlaceObject;
      size_t cPoints = 0;
      if (iPlace >= 0 && size_t(iPlace) < cFinest) src.Points(iFinest, size_t(iPlace), cPoints);
      if (!named[i] && cPoints == 0) cities.Use(uint32_t(i));
    }
  }
  cities.Finish();
  for (Renumber& l : lists) l.Finish();
  for (size_t i = 0; i < in.cities.size(); ++i) {
    if (cities.map[i] < 0) continue;
    VelCityInput c = in.cities[i];
    const int32_t iPlace = c.iPlaceObject;
    c.iPlaceObject = iPlace >= 0 && size_t(iPlace) < finestNew.size() ? finestNew[size_t(iPlace)] : -1;
    idx.cities.push_back(std::move(c));
  }
  for (int k = 0; k < 3; ++k)
    for (size_t i = 0; i < in.lists[k].size(); ++i)
      if (lists[k].map[i] >= 0) idx.lists[k].push_back(in.lists[k][i]);
  for (VelObject& obj : finest) {
    if (obj.fHasAddress) {
      obj.adwAddress[0] = cities.Value(obj.adwAddress[0]);
      for (int k = 0; k < 3; ++k) obj.adwAddress[k + 1] = lists[k].Value(obj.adwAddress[k + 1]);
    }
    obj.nIndexCity = cities.Value(obj.nIndexCity);
  }
}

}  // namespace

std::string TileFileName(uint32_t i) {
  char sz[32];
  std::snprintf(sz, sizeof sz, "tile%03u.vel", i);
  return sz;
}

bool WriteVelCollection(const VelWriterOptions& options, const std::vector<VelLevelInput>& levels,
                        const std::string& strFolder, uint64_t cbBudget, std::string& strError,
                        VelTileStats* pStats, unsigned cJobs, CVelcProgress* pProgress) {
  return WriteVelCollection(options, CLevelsSource(levels), strFolder, cbBudget, strError, pStats, cJobs, pProgress);
}

namespace {

// One tile made from a planned rectangle: written under a provisional name
// in the new folder, renamed to its member name once every tile is made.
struct TileDone {
  MapRect rect;
  std::string strPath;  // provisional
  uint64_t cb = 0, cbEstimate = 0;
  VelWriterStats ws;
};

// Makes the tiles of one planned rectangle (halving it where the writer
// finds a tile too large), in member order. fFirst: the first tile written
// also takes the cities no object names; cleared once a tile is written.
bool MakeTiles(const VelWriterOptions& options, const CObjectSource& src, const ObjectBoxes* pBoxes,
               const MapRect& rect, bool& fFirst, const std::string& strStage, size_t iPlan,
               std::vector<TileDone>& out, uint32_t& cHalved, std::string& strError) {
  VelWriterOptions tileOptions;
  std::vector<VelLevelInput> tileLevels;
  ExtractTileOf(options, src, pBoxes, rect, fFirst, tileOptions, tileLevels);
  src.Trim();
  size_t cObjects = 0;
  for (const VelLevelInput& lv : tileLevels) cObjects += lv.objects.size();
  if (cObjects == 0) return true;  // nothing of the map lies there
  TileDone t;
  t.rect = rect;
  {
    CLevelsSource tile(tileLevels);
    for (size_t iLevel = 0; iLevel < tile.LevelCount(); ++iLevel)
      for (size_t i = 0; i < tile.Count(iLevel); ++i) t.cbEstimate += EstimateObjectBytes(tile, iLevel, i);
  }
  std::vector<uint8_t> bytes;
  if (!WriteVelMapConsuming(tileOptions, tileLevels, bytes, strError, &t.ws)) {
    MapRect a, b;
    if (!t.ws.fTooLarge || !SplitRect(rect, a, b)) return false;
    std::vector<VelLevelInput>().swap(tileLevels);
    std::vector<uint8_t>().swap(bytes);
    strError.clear();
    ++cHalved;
    return MakeTiles(options, src, pBoxes, a, fFirst, strStage, iPlan, out, cHalved, strError) &&
           MakeTiles(options, src, pBoxes, b, fFirst, strStage, iPlan, out, cHalved, strError);
  }
  std::vector<VelLevelInput>().swap(tileLevels);
  char sz[64];
  std::snprintf(sz, sizeof sz, "part%06zu-%03zu.tmp", iPlan, out.size());
  t.strPath = strStage + sz;
  if (!platform::WriteFileAtomic(platform::Utf8ToU16(t.strPath).c_str(), bytes.data(), bytes.size())) {
    strError = "cannot write a tile into " + strStage + ": " + std::strerror(errno);
    return false;
  }
  t.cb = bytes.size();
  fFirst = false;
  out.push_back(std::move(t));
  ReleaseFreeMemory();
  return true;
}

std::string WithoutSlash(std::string str) {
  while (str.size() > 1 && str.back() == '/') str.pop_back();
  return str;
}

bool RemoveTree(const std::string& strPath) {
  std::error_code ec;
  std::filesystem::remove_all(strPath, ec);
  return !ec;
}

// Folders a killed run left beside the output: "NAME.velc-new-*", "NAME.velc-old-*".
void RemoveLeftovers(const std::string& strFinal) {
  const std::filesystem::path final(strFinal);
  const std::string strPrefix = final.filename().string() + ".velc-";
  std::error_code ec;
  std::filesystem::path parent = final.parent_path();
  if (parent.empty()) parent = ".";
  for (std::filesystem::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string strName = it->path().filename().string();
    if (strName.compare(0, strPrefix.size(), strPrefix) == 0 &&
        (strName.compare(strPrefix.size(), 4, "new-") == 0 || strName.compare(strPrefix.size(), 4, "old-") == 0))
      RemoveTree(it->path().string());
  }
}

// Puts the new folder in the old one's place in one step: the two are
// exchanged (renameat2), then the old one, now under the new one's name,
// is removed. Where the file system cannot exchange, the old folder is
// renamed aside first.
bool SwapInFolder(const std::string& strStage, const std::string& strFinal, std::string& strError) {
  struct stat st;
  if (::lstat(strFinal.c_str(), &st) != 0) {
    if (::rename(strStage.c_str(), strFinal.c_str()) == 0) return true;
    strError = "cannot rename " + strStage + " to " + strFinal + ": " + std::strerror(errno);
    return false;
  }
  if (::renameat2(AT_FDCWD, strStage.c_str(), AT_FDCWD, strFinal.c_str(), RENAME_EXCHANGE) == 0) {
    RemoveTree(strStage);
    return true;
  }
  const std::string strOld = strFinal + ".velc-old-" + std::to_string(::getpid());
  if (::rename(strFinal.c_str(), strOld.c_str()) != 0 || ::rename(strStage.c_str(), strFinal.c_str()) != 0) {
    strError = "cannot put the new collection in place of " + strFinal + ": " + std::strerror(errno);
    return false;
  }
  RemoveTree(strOld);
  return true;
}

}  // namespace

bool MakeInPlanOrder(size_t cPlan, unsigned cJobs, const std::function<bool(size_t, bool&)>& make,
                     const std::function<void(size_t)>& discard) {
  // The first rectangle is made as the first beside the others; should it
  // give no tile, the ones after it are made again, in order and as the
  // first, until one gives a tile.
  bool fFirst = true;
  if (cJobs == 0) cJobs = std::max(1u, std::thread::hardware_concurrency());
  cJobs = unsigned(std::min<size_t>(cJobs, std::max<size_t>(1, cPlan)));
  std::atomic<size_t> next{0};
  std::atomic<bool> fFailed(false);
  auto worker = [&]() {
    for (;;) {
      const size_t i = next++;
      if (i >= cPlan || fFailed) return;
      bool fThisFirst = i == 0;
      if (!make(i, fThisFirst)) {
        fFailed = true;
        return;
      }
      if (i == 0) fFirst = fThisFirst;  // read once the workers are joined
    }
  };
  if (cJobs <= 1) worker();
  else {
    std::vector<std::thread> threads;
    for (unsigned k = 0; k < cJobs; ++k) threads.emplace_back(worker);
    for (std::thread& t : threads) t.join();
  }
  if (fFailed) return false;
  for (size_t i = 1; fFirst && i < cPlan; ++i) {
    discard(i);
    if (!make(i, fFirst)) return false;
  }
  return true;
}

bool WriteVelCollection(const VelWriterOptions& options, const CObjectSource& levels, const std::string& strFolder,
                        uint64_t cbBudget, std::string& strError, VelTileStats* pStats, unsigned cJobs,
                        CVelcProgress* pProgress) {
  VelTileStats stats;
  std::string strFinal = WithoutSlash(strFolder);
  struct stat st;
  if (::stat(strFinal.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
    strError = strFinal + " is not a folder";
    return false;
  }
  // A link to a folder: the folder it names is replaced, the link stays.
  if (::lstat(strFinal.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::canonical(strFinal, ec);
    if (!ec) strFinal = real.string();
  }
  // The folder is replaced as a whole: folders inside it would not be kept.
  {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(strFinal, ec), end; !ec && it != end; it.increment(ec))
      if (it->is_directory(ec) && !it->is_symlink(ec)) {
        strError = strFinal + " holds the folder " + it->path().filename().string() +
                   "; velc replaces a folder of tiles as a whole: give it a folder of its own";
        return false;
      }
  }
  {
    std::error_code ec;
    const std::filesystem::path parent = std::filesystem::path(strFinal).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
  }
  RemoveLeftovers(strFinal);
  // The new tiles and index are made in a folder beside the old one.
  std::string strStage = strFinal + ".velc-new-XXXXXX";
  if (!::mkdtemp(&strStage[0])) {
    strError = "cannot make a folder beside " + strFinal + ": " + std::strerror(errno);
    return false;
  }
  ::chmod(strStage.c_str(), 0777 & ~[] { mode_t m = ::umask(0); ::umask(m); return m; }());
  const std::string strBase = strStage + "/";
  auto fail = [&](const std::string& strWhy) {
    strError = strWhy.empty() ? "cannot write the tiles" : strWhy;
    RemoveTree(strStage);
    return false;
  };

  ObjectBoxes boxes;
  MakeObjectBoxes(levels, boxes, cJobs);
  const std::vector<MapRect> plan = CTilePlanner(levels, boxes, cbBudget, cJobs).Plan();
  if (plan.size() <= 1) ObjectBoxes().swap(boxes);  // one tile takes every object
  if (pProgress) pProgress->Phase("writing tiles", 0);
  const ObjectBoxes* pBoxes = plan.size() > 1 ? &boxes : nullptr;
  std::vector<std::vector<TileDone>> done(plan.size());
  std::vector<uint32_t> halved(plan.size(), 0);
  // The first tile with objects also takes the cities no object names.
  std::string strWhy;
  std::mutex mutexError;
  std::atomic<uint32_t> cDone{0};
  auto make = [&](size_t i, bool& fFirst) {
    std::string strMine;
    if (!MakeTiles(options, levels, pBoxes, plan[i], fFirst, strBase, i, done[i], halved[i], strMine)) {
      std::lock_guard<std::mutex> lock(mutexError);
      if (strWhy.empty()) strWhy = strMine;
      return false;
    }
    const uint32_t c = ++cDone;  // a rectangle made again counts once
    if (pProgress) pProgress->Tiles(std::min(c, uint32_t(plan.size())), uint32_t(plan.size()));
    return true;
  };
  auto discard = [&](size_t i) {
    for (const TileDone& t : done[i]) ::remove(t.strPath.c_str());
    done[i].clear();
    halved[i] = 0;
  };
  if (!MakeInPlanOrder(plan.size(), cJobs, make, discard)) return fail(strWhy);

  // The member names in plan order.
  uint32_t cTiles = 0;
  for (size_t i = 0; i < plan.size(); ++i) {
    stats.cHalvedAfterWrite += halved[i];
    for (TileDone& t : done[i]) {
      const std::string strPath = strBase + TileFileName(cTiles);
      if (::rename(t.strPath.c_str(), strPath.c_str()) != 0)
        return fail("cannot rename " + t.strPath + ": " + std::strerror(errno));
      ++cTiles;
      stats.tiles.push_back(t.rect);
      stats.tileBytes.push_back(t.cb);
      stats.tileEstimates.push_back(t.cbEstimate);
      stats.cbTotal += t.cb;
      const VelWriterStats& ws = t.ws;
      stats.writer.cObjects += ws.cObjects;
      stats.writer.cNodes += ws.cNodes;
      stats.writer.cCutNodes += ws.cCutNodes;
      stats.writer.cTurnsWritten += ws.cTurnsWritten;
      stats.writer.cTurnsDropped += ws.cTurnsDropped;
      stats.writer.cDropped += ws.cDropped;
      stats.writer.cIndexedObjects += ws.cIndexedObjects;
      for (int k = 0; k < 32; ++k) stats.writer.acBlocks[k] += ws.acBlocks[k];
    }
  }

  // Other files of the old folder (not its tiles nor its index) stay, and
  // the links in it.
  {
    std::error_code ecList;
    for (std::filesystem::directory_iterator it(strFinal, ecList), end; !ecList && it != end; it.increment(ecList)) {
      const std::string str = it->path().filename().string();
      if (IsTileFileName(str) || strcasecmp(str.c_str(), "Index.vidx") == 0) continue;
      const std::string strFrom = strFinal + "/" + str, strTo = strBase + str;
      struct stat stFile;
      if (::lstat(strFrom.c_str(), &stFile) != 0) continue;
      std::error_code ec;
      if (S_ISLNK(stFile.st_mode)) {
        const std::filesystem::path target = std::filesystem::read_symlink(strFrom, ec);
        if (!ec) std::filesystem::create_symlink(target, strTo, ec);
        if (ec) return fail("cannot keep " + strFrom + " in the new folder: " + ec.message());
        continue;
      }
      if (!S_ISREG(stFile.st_mode)) continue;
      if (::link(strFrom.c_str(), strTo.c_str()) != 0 &&
          !std::filesystem::copy_file(strFrom, strTo, std::filesystem::copy_options::overwrite_existing, ec))
        return fail("cannot keep " + strFrom + " in the new folder: " + ec.message());
    }
  }

  VidxBuildHost host{nullptr, nullptr, nullptr, nullptr};
  stats.cIndexedMaps = BuildCollectionIndex(platform::Utf8ToU16(strBase).c_str(), host);
  if (stats.cIndexedMaps <= 0) return fail("cannot write the collection index in " + strFolder);
  SyncFolder(strStage);
  if (!SwapInFolder(strStage, strFinal, strWhy)) return fail(strWhy);
  {
    std::filesystem::path parent = std::filesystem::path(strFinal).parent_path();
    SyncFolder(parent.empty() ? std::string(".") : parent.string());
  }
  if (pStats) *pStats = std::move(stats);
  return true;
}
