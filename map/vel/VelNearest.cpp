// The nearest search of the native reader: the objects of one zoom level
// whose geometry comes within a radius of a point, and the results query
// that decodes them on demand, nearest first.
//
// Distances are those of the map page's hit test: map units with the
// east-west term weighted by the cosine of the reference latitude, so one
// unit is 20 000 000 m / 2^30 in both directions.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "map/vel/VelParser.h"
#include "platform/Debug.h"
#include "platform/Str.h"
#include "view/MapUnits.h"
#include "view/PtAlgo.h"

using namespace vel;

namespace {

const double c_fPi = 3.14159265358979323846;
// The section of each kind in a block: areas, lines, points.
const int c_aKindSection[rkMax] = {2, 1, 0};
const int c_aSectionKind[3] = {rkPolygon, rkPolyline, rkPoint};
// Found names keep their full form (line abbreviations not cut).
const bool c_fFullForm = true;
// The cancel flag is polled every this many records too, so that a level
// of few, crowded blocks stops quickly.
const uint32_t c_cRecordsPerPoll = 256;

double CosOfLatitude(int32_t y) {
  double k = std::cos(MapToDegrees(y) * c_fPi / 180.0);
  return k < 1e-6 ? 1e-6 : k;
}

int32_t Clamp32(int64_t v) { return int32_t(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v); }

// Weighted squared distance from pt to the object and the object's point
// nearest to it. Areas hold the point inside (distance 0, the point
// itself) or measure to their outline.
double MeasureObject(int nKind, const MapPoint& pt, const MapPoint* pPoints, uint32_t cPoints, double k,
                     MapPoint* pNearest) {
  if (nKind == rkPoint || cPoints == 1) {
    *pNearest = pPoints[0];
    const double dx = (double(pPoints[0].x) - pt.x) * k;
    const double dy = double(pPoints[0].y) - pt.y;
    return dx * dx + dy * dy;
  }
  if (nKind == rkPolygon && PtAlgo::PointInPolygon(pt, pPoints, cPoints)) {
    *pNearest = pt;
    return 0;
  }
  return PtAlgo::NearestPointOnPolyline(pt, pPoints, cPoints, nKind == rkPolygon, float(k), pNearest, nullptr);
}

// The representative point: a point itself, the middle of a line by its
// length, the centroid of an area (the middle of its extent when the area
// is degenerate).
MapPoint RepresentativePoint(int nKind, const MapPoint* pPoints, uint32_t cPoints) {
  if (nKind == rkPoint || cPoints < 2) return pPoints[0];
  const double k = CosOfLatitude(pPoints[0].y);
  if (nKind == rkPolyline) {
    const double fHalf = PtAlgo::PolylineLength(pPoints, pPoints + cPoints, float(k * k)) / 2;
    double fWalked = 0;
    for (uint32_t i = 1; i < cPoints; ++i) {
      const double dx = (double(pPoints[i].x) - pPoints[i - 1].x);
      const double dy = (double(pPoints[i].y) - pPoints[i - 1].y);
      const double fSegment = std::sqrt(dx * dx * k * k + dy * dy);
      if (fWalked + fSegment >= fHalf && fSegment > 0) {
        const double t = (fHalf - fWalked) / fSegment;
        return MapPoint{Clamp32(std::llround(pPoints[i - 1].x + dx * t)), Clamp32(std::llround(pPoints[i - 1].y + dy * t))};
      }
      fWalked += fSegment;
    }
    return pPoints[0];
  }
  // Shoelace sums relative to the first point (keeps the products small).
  double fArea2 = 0, fCx = 0, fCy = 0;
  const double x0 = pPoints[0].x, y0 = pPoints[0].y;
  for (uint32_t i = 0; i < cPoints; ++i) {
    const MapPoint& a = pPoints[i];
    const MapPoint& b = pPoints[i + 1 < cPoints ? i + 1 : 0];
    const double ax = a.x - x0, ay = a.y - y0, bx = b.x - x0, by = b.y - y0;
    const double fCross = ax * by - bx * ay;
    fArea2 += fCross;
    fCx += (ax + bx) * fCross;
    fCy += (ay + by) * fCross;
  }
  int64_t l = pPoints[0].x, r = l, t = pPoints[0].y, b = t;
  for (uint32_t i = 1; i < cPoints; ++i) {
    l = std::min<int64_t>(l, pPoints[i].x), r = std::max<int64_t>(r, pPoints[i].x);
    t = std::min<int64_t>(t, pPoints[i].y), b = std::max<int64_t>(b, pPoints[i].y);
  }
  if (std::fabs(fArea2) >= 1) {
    // A ring that crosses itself (a bow tie) has parts of opposite sign
    // whose centroid can fall outside the area: then the extent's middle.
    const MapPoint pt = {Clamp32(std::llround(x0 + fCx / (3 * fArea2))), Clamp32(std::llround(y0 + fCy / (3 * fArea2)))};
    if (pt.x >= l && pt.x <= r && pt.y >= t && pt.y <= b) return pt;
  }
  return MapPoint{int32_t((l + r) / 2), int32_t((t + b) / 2)};
}

// Whether the text contains the wanted text anywhere, without regard to
// case.
bool ContainsNoCase(DWORD dwLocale, const char16_t* psz, size_t c, const char16_t* pszWanted, size_t cWanted) {
  if (cWanted == 0) return true;
  for (size_t i = 0; i + cWanted <= c; ++i)
    if (CompareNamesNoCase(dwLocale, psz + i, cWanted, pszWanted, cWanted) == 0) return true;
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------
// The results query

class CVelNearestQuery : public CMapQuery {
 public:
  typedef VelHit Item;

  CVelNearestQuery(CVelParser* pParser, uint32_t nLevel, std::vector<Item>&& items)
      : m_pParser(pParser), m_nLevel(nLevel), m_items(std::move(items)), m_ptRef{0, 0}, m_fCosRef(1) {}

  DWORD GetLocale() override { return m_pParser->GetLocale(); }
  uint32_t GetCount() override { return uint32_t(m_items.size()); }
  bool GetItem(uint32_t nIndex, FoundObject* pObject, uint32_t dwFlags) override;
  uint32_t FindByName(const char16_t*) override { return 0; }
  void SetReference(MapPoint pt) override {
    m_ptRef = pt;
    m_fCosRef = CosOfLatitude(pt.y);
  }

 private:
  CVelParser* m_pParser;
  uint32_t m_nLevel;
  std::vector<Item> m_items;
  MapPoint m_ptRef;
  double m_fCosRef;
};

bool CVelNearestQuery::GetItem(uint32_t nIndex, FoundObject* pObject, uint32_t dwFlags) {
  if (!pObject || nIndex >= m_items.size()) return false;
  const Item& item = m_items[nIndex];
  return m_pParser->DecodeFound(m_nLevel, item.dwBlockHeader, item.nKind, item.dwRecord, pObject, dwFlags, m_ptRef,
                                m_fCosRef);
}

CMapQuery* CreateVelHitsQuery(CVelParser* pParser, uint32_t nLevel, std::vector<VelHit>&& hits, MapPoint ptRef) {
  CVelNearestQuery* pQuery = new CVelNearestQuery(pParser, nLevel, std::move(hits));
  pQuery->SetReference(ptRef);
  return pQuery;
}

bool CVelParser::DecodeFound(uint32_t nLevel, uint32_t dwBlockHeader, int nKind, uint32_t dwRecord,
                             FoundObject* pObject, uint32_t dwFlags, MapPoint ptRef, double fCosRef) {
  VelRecord rec;
  char16_t* pszRaw = m_label.data();
  if (!RereadRecord(nLevel, dwBlockHeader, nKind, dwRecord, rec, pszRaw, m_label.size())) return false;
  pObject->wType = rec.wType;
  pObject->nKind = rec.nKind;
  if ((dwFlags & c_fofName) || IsNameOnlyRequest(dwFlags)) {
    int nFlag = 0;
    InterpretMapLabel(rec.nKind, rec.wType, m_fLabelStyle, pszRaw, rec.cLabel, pObject->szName, &nFlag, c_fFullForm);
  }
  if (IsNameOnlyRequest(dwFlags)) return true;
  const MapPoint* pPoints = m_mapPoints.data();
  if (dwFlags & c_fofReprPoint) {
    const MapPoint pt = RepresentativePoint(rec.nKind, pPoints, rec.cPoints);
    pObject->xRepr = pt.x;
    pObject->yRepr = pt.y;
  }
  if (dwFlags & c_fofNearestPoint) {
    MapPoint pt = pPoints[0];
    MeasureObject(rec.nKind, ptRef, pPoints, rec.cPoints, fCosRef, &pt);
    pObject->xNearest = pt.x;
    pObject->yNearest = pt.y;
  }
  if (dwFlags & c_fofScale) {
    VelLevel level;
    pObject->nScale = GetLevel(nLevel, level) ? int16_t(ScaleCodeToIndex(level.wLevelCode)) : 0;
  }
  if (dwFlags & c_fofMapFile) {
    const char16_t* pszPath = GetPath();
    const char16_t* pszName = pszPath;
    for (const char16_t* p = pszPath; *p && p < pszPath + 260; ++p)
      if (*p == u'\\' || *p == u'/') pszName = p + 1;
    size_t c = 0;
    while (c < 63 && pszName + c < pszPath + 260 && pszName[c]) {
      pObject->szMapFile[c] = pszName[c];
      ++c;
    }
    pObject->szMapFile[c] = 0;
  }
  FillAddress(rec, pObject, dwFlags);
  return true;
}

// ---------------------------------------------------------------------------
// The search

bool CVelParser::RereadRecord(uint32_t nLevel, uint32_t dwBlockHeader, int nKind, uint32_t dwRecord, VelRecord& rec,
                              char16_t* pszLabel, size_t cchLabel) {
  VelLevel level;
  if (!m_fObjectTables || nKind < 0 || nKind >= rkMax || !GetLevel(nLevel, level) || dwBlockHeader >= m_cFileSize)
    return false;
  const uint8_t* pBlock = m_pData + dwBlockHeader;
  VelBlockInfo block;
  if (!ReadBlock(pBlock, block)) return false;
  const uint32_t nShift = uint32_t(~level.wLevelCode) & 31;
  block.rect = VelBlockRect(block.hdr, nShift);
  const int iSection = c_aKindSection[nKind];
  const uint32_t dwSection = block.adwSectionOffset[iSection];
  const uint32_t cb = block.adwSectionSize[iSection];
  if (dwRecord < dwSection || dwRecord - dwSection >= cb) return false;
  CBitStream bs(m_pData + dwRecord, m_pData + dwSection + cb);
  ResetWork();
  return ReadRecord(bs, nKind, block, nShift, nLevel + 1 == m_cLevels, rec, pszLabel, cchLabel);
}

void CVelParser::BuildNearestGrid(uint32_t nLevel, NearestGrid& grid) {
  grid = NearestGrid();
  grid.fBuilt = true;
  VelLevel level;
  if (!GetLevel(nLevel, level)) return;
  const uint32_t nShift = uint32_t(~level.wLevelCode) & 31;
  const bool fFinest = nLevel + 1 == m_cLevels;
  // Levels of more records keep the walk (the grid would take too much memory).
  const size_t c_cMaxRecords = size_t(1) << 23;
  // The points of lines and areas are kept decoded up to this many (16 MB);
  // the records after that are read again by each search that meets them.
  const size_t c_cMaxKeptPoints = size_t(1) << 21;
  ResetWork();
  char16_t chNoLabel = 0;
  if (level.dwFirstBlock < m_cFileSize) {
    const uint8_t* pBlock = m_pData + level.dwFirstBlock;
    for (uint32_t nBlock = 0; nBlock < level.wBlocks; ++nBlock) {
      const uint32_t dwBlockHeader = uint32_t(pBlock - m_pData);
      VelBlockInfo block;
      if (!ReadBlock(pBlock, block)) break;  // as the walk: a block past the end ends it
      block.rect = VelBlockRect(block.hdr, nShift);
      const uint32_t iBlock = uint32_t(grid.blockRects.size());
      grid.blockRects.push_back(block.rect);
      for (int iSection = 0; iSection < 3; ++iSection) {
        const int nKind = c_aSectionKind[iSection];
        const uint32_t cb = block.adwSectionSize[iSection];
        if (!cb) continue;
        const uint8_t* pSection = m_pData + block.adwSectionOffset[iSection];
        CBitStream bs(pSection, pSection + cb);
        while (bs.GetPtr() < pSection + cb) {
          VelRecord rec;
          if (!ReadRecord(bs, nKind, block, nShift, fFinest, rec, &chNoLabel, 1)) break;
          const MapPoint* pPoints = m_mapPoints.data();
          MapRect br{pPoints[0].x, pPoints[0].y, pPoints[0].x, pPoints[0].y};
          for (uint32_t i = 1; nKind != rkPoint && i < rec.cPoints; ++i) {
            br.left = std::min(br.left, pPoints[i].x), br.right = std::max(br.right, pPoints[i].x);
            br.top = std::min(br.top, pPoints[i].y), br.bottom = std::max(br.bottom, pPoints[i].y);
          }
          uint32_t iPoint = 0, cKept = 0;
          if (nKind != rkPoint && grid.points.size() + rec.cPoints <= c_cMaxKeptPoints) {
            iPoint = uint32_t(grid.points.size());
            cKept = rec.cPoints;
            grid.points.insert(grid.points.end(), pPoints, pPoints + rec.cPoints);
          }
          grid.records.push_back(NearestRecord{br, rec.dwOffset, dwBlockHeader, iBlock, uint32_t(grid.records.size()),
                                               rec.wType, uint8_t(nKind), 0, iPoint, cKept});
          if (grid.records.size() > c_cMaxRecords) {
            grid = NearestGrid();
            grid.fBuilt = true;
            return;
          }
        }
      }
    }
  }
  grid.fUsable = true;
  if (grid.records.empty()) return;
  MapRect& r = grid.rect;
  r = grid.records[0].box;
  for (const NearestRecord& rec : grid.records) {
    r.left = std::min(r.left, rec.box.left), r.right = std::max(r.right, rec.box.right);
    r.top = std::min(r.top, rec.box.top), r.bottom = std::max(r.bottom, rec.box.bottom);
  }
  // About eight records to a cell; boxes over more than 16 cells go to the
  // list every search looks at.
  const uint32_t cSide = uint32_t(std::clamp(std::sqrt(double(grid.records.size()) / 8.0), 1.0, 1024.0));
  grid.cCols = grid.cRows = cSide;
  grid.cxCell = (int64_t(r.right) - r.left) / cSide + 1;
  grid.cyCell = (int64_t(r.bottom) - r.top) / cSide + 1;
  std::vector<uint32_t> counts(size_t(cSide) * cSide + 1, 0);
  auto span = [&](const MapRect& b, uint32_t& c0, uint32_t& c1, uint32_t& r0, uint32_t& r1) {
    c0 = uint32_t((int64_t(b.left) - r.left) / grid.cxCell), c1 = uint32_t((int64_t(b.right) - r.left) / grid.cxCell);
    r0 = uint32_t((int64_t(b.top) - r.top) / grid.cyCell), r1 = uint32_t((int64_t(b.bottom) - r.top) / grid.cyCell);
    return uint64_t(c1 - c0 + 1) * (r1 - r0 + 1) <= 16;
  };
  for (int iPass = 0; iPass < 2; ++iPass) {
    for (uint32_t i = 0; i < grid.records.size(); ++i) {
      uint32_t c0, c1, r0, r1;
      if (!span(grid.records[i].box, c0, c1, r0, r1)) {
        if (iPass == 0) grid.large.push_back(i);
        continue;
      }
      for (uint32_t row = r0; row <= r1; ++row)
        for (uint32_t col = c0; col <= c1; ++col) {
          const uint32_t iCell = row * cSide + col;
          if (iPass == 0) ++counts[iCell + 1];
          else grid.cellItems[counts[iCell]++] = i;
        }
    }
    if (iPass == 0) {
      for (size_t i = 1; i < counts.size(); ++i) counts[i] += counts[i - 1];
      grid.cellStart = counts;
      grid.cellItems.assign(counts.back(), 0);
    }
  }
}

CMapQuery* CVelParser::FindNearest(uint32_t nScale, bool fUseScale, MapPoint pt, uint32_t nRadiusMetres,
                                   const MapTypeFilter* pFilter, const char16_t* pszName,
                                   const MapProgress* pProgress) {
  if (!m_fObjectTables || m_cLevels == 0) return nullptr;
  const uint32_t nLevel = fUseScale ? ChooseLevel(nScale) : m_cLevels - 1;
  VelLevel level;
  if (!GetLevel(nLevel, level)) return nullptr;
  const uint32_t nShift = uint32_t(~level.wLevelCode) & 31;
  const bool fFinest = nLevel + 1 == m_cLevels;

  // The search rectangle: the radius along a meridian, divided by cos of
  // the latitude along a parallel.
  const int64_t r = MetresToMap(double(nRadiusMetres));
  const double k = CosOfLatitude(pt.y);
  const int64_t rx = std::llround(double(r) / k);
  const MapRect rectSearch = {Clamp32(int64_t(pt.x) - rx), Clamp32(int64_t(pt.y) - r), Clamp32(int64_t(pt.x) + rx),
                              Clamp32(int64_t(pt.y) + r)};
  const double fR2 = double(r) * double(r);

  // The name filter needs the labels; without it a one-unit buffer makes
  // the walk skip shared label texts.
  const size_t cchName = pszName ? platform::StrLen(pszName) : 0;
  char16_t chNoLabel = 0;
  char16_t* pszLabel = cchName ? m_label.data() : &chNoLabel;
  const size_t cchLabel = cchName ? m_label.size() : 1;
  char16_t szShown[c_cchLabelOut];

  const bool fFilter = pFilter && pFilter->cItems;
  // A filter without any type of a kind lets the walk skip that kind's
  // sections whole.
  bool afKindWanted[rkMax] = {!fFilter, !fFilter, !fFilter};
  for (size_t i = 0; fFilter && i < pFilter->cItems; ++i)
    if (pFilter->pItems[i].nKind >= 0 && pFilter->pItems[i].nKind < rkMax) afKindWanted[pFilter->pItems[i].nKind] = true;
  auto fnCancelled = [pProgress]() { return pProgress && pProgress->IsCancelled(); };
  std::vector<CVelNearestQuery::Item> items;
  ResetWork();
  uint32_t cRecords = 0;
  int32_t nLastPos = INT32_MIN;
  if (m_nearestGrids.size() != m_cLevels) m_nearestGrids.assign(m_cLevels, NearestGrid());
  NearestGrid& grid = m_nearestGrids[nLevel];
  if (!grid.fBuilt) BuildNearestGrid(nLevel, grid);
  if (grid.fUsable) {
    // The records whose box meets the search rectangle, in walk order.
    if (++grid.nStamp == 0) {
      for (NearestRecord& rec : grid.records) rec.nStamp = 0;
      grid.nStamp = 1;
    }
    const uint32_t nStamp = grid.nStamp;
    std::vector<uint32_t> candidates;
    auto visit = [&](uint32_t i) {
      NearestRecord& r = grid.records[i];
      if (r.nStamp == nStamp) return;
      r.nStamp = nStamp;
      if (r.box.Intersects(rectSearch) && grid.blockRects[r.nBlock].Intersects(rectSearch)) candidates.push_back(i);
    };
    if (grid.cCols && rectSearch.Intersects(grid.rect)) {
      auto cell = [](int64_t v, int64_t vMin, int64_t cSize, uint32_t cCells) {
        int64_t c = (v - vMin) / cSize;
        return uint32_t(c < 0 ? 0 : c >= int64_t(cCells) ? cCells - 1 : c);
      };
      const uint32_t c0 = cell(rectSearch.left, grid.rect.left, grid.cxCell, grid.cCols);
      const uint32_t c1 = cell(rectSearch.right, grid.rect.left, grid.cxCell, grid.cCols);
      const uint32_t r0 = cell(rectSearch.top, grid.rect.top, grid.cyCell, grid.cRows);
      const uint32_t r1 = cell(rectSearch.bottom, grid.rect.top, grid.cyCell, grid.cRows);
      for (uint32_t row = r0; row <= r1; ++row)
        for (uint32_t col = c0; col <= c1; ++col) {
          const uint32_t iCell = row * grid.cCols + col;
          for (uint32_t k = grid.cellStart[iCell]; k < grid.cellStart[iCell + 1]; ++k) visit(grid.cellItems[k]);
        }
    }
    for (uint32_t i : grid.large) visit(i);
    std::sort(candidates.begin(), candidates.end());
    // Progress by the blocks the candidates lie in, as the walk reports it.
    const uint32_t cBlocks = std::max<uint32_t>(1, level.wBlocks);
    auto fnBlock = [&](uint32_t nBlock) {
      if (fnCancelled()) return false;
      if (pProgress && pProgress->pfnSetPos) {
        const int32_t nPos = int32_t(pProgress->nFrom + (int64_t(pProgress->nTo) - pProgress->nFrom) * nBlock / cBlocks);
        if (nPos != nLastPos) pProgress->SetPos(nLastPos = nPos);
      }
      return true;
    };
    if (!fnBlock(0)) return nullptr;
    uint32_t nLastBlock = 0;
    for (uint32_t i : candidates) {
      const NearestRecord& r = grid.records[i];
      if (r.nBlock != nLastBlock && !fnBlock(nLastBlock = r.nBlock)) return nullptr;
      if (++cRecords % c_cRecordsPerPoll == 0 && fnCancelled()) return nullptr;
      const int nKind = r.nKind;
      if (!afKindWanted[nKind] || (fFilter && !pFilter->Contains(nKind, r.wType))) continue;
      // Nothing of the record can be nearer than its box.
      const double fBoxDx = double(std::max<int64_t>({int64_t(r.box.left) - pt.x, int64_t(pt.x) - r.box.right, 0})) * k;
      const double fBoxDy = double(std::max<int64_t>({int64_t(r.box.top) - pt.y, int64_t(pt.y) - r.box.bottom, 0}));
      if (fBoxDx * fBoxDx + fBoxDy * fBoxDy > fR2) continue;
      const MapPoint ptRecord = {r.box.left, r.box.top};
      const MapPoint* pPoints = &ptRecord;
      uint32_t cPoints = 1;
      if (nKind != rkPoint && !cchName && r.cPoints) {
        pPoints = grid.points.data() + r.iPoint;
        cPoints = r.cPoints;
      } else if (nKind != rkPoint || cchName) {
        VelRecord rec;
        if (!RereadRecord(nLevel, r.dwBlockHeader, nKind, r.dwRecord, rec, pszLabel, cchLabel)) continue;
        if (cchName) {
          int nFlag = 0;
          const size_t cShown = rec.cLabel ? InterpretMapLabel(nKind, rec.wType, m_fLabelStyle, pszLabel, rec.cLabel,
                                                               szShown, &nFlag, c_fFullForm)
                                           : 0;
          if (!ContainsNoCase(m_dwLocale, szShown, cShown, pszName, cchName)) continue;
        }
        pPoints = m_mapPoints.data();
        cPoints = rec.cPoints;
      }
      if (nKind == rkPoint && !rectSearch.Contains(pPoints[0])) continue;
      MapPoint ptNearest;
      const double fD2 = MeasureObject(nKind, pt, pPoints, cPoints, k, &ptNearest);
      if (fD2 < 0 || fD2 > fR2) continue;
      items.push_back(CVelNearestQuery::Item{r.dwRecord, r.dwBlockHeader, nKind, fD2, 0});
    }
  } else if (level.dwFirstBlock < m_cFileSize) {
    const uint8_t* pBlock = m_pData + level.dwFirstBlock;
    for (uint32_t nBlock = 0; nBlock < level.wBlocks; ++nBlock) {
      if (fnCancelled()) return nullptr;
      if (pProgress && pProgress->pfnSetPos) {
        const int32_t nPos =
            int32_t(pProgress->nFrom + (int64_t(pProgress->nTo) - pProgress->nFrom) * nBlock / level.wBlocks);
        if (nPos != nLastPos) pProgress->SetPos(nLastPos = nPos);
      }
      const uint32_t dwBlockHeader = uint32_t(pBlock - m_pData);
      VelBlockInfo block;
      if (!ReadBlock(pBlock, block)) break;  // a block past the end ends the level's walk
      block.rect = VelBlockRect(block.hdr, nShift);
      if (!block.rect.Intersects(rectSearch)) continue;
      for (int iSection = 0; iSection < 3; ++iSection) {
        const int nKind = c_aSectionKind[iSection];
        const uint32_t cb = block.adwSectionSize[iSection];
        if (!cb || !afKindWanted[nKind]) continue;
        const uint8_t* pSection = m_pData + block.adwSectionOffset[iSection];
        CBitStream bs(pSection, pSection + cb);
        while (bs.GetPtr() < pSection + cb) {
          if (++cRecords % c_cRecordsPerPoll == 0 && fnCancelled()) return nullptr;
          VelRecord rec;
          if (!ReadRecord(bs, nKind, block, nShift, fFinest, rec, pszLabel, cchLabel)) break;
          if (fFilter && !pFilter->Contains(nKind, rec.wType)) continue;
          if (cchName) {
            int nFlag = 0;
            const size_t cShown = rec.cLabel ? InterpretMapLabel(nKind, rec.wType, m_fLabelStyle, pszLabel, rec.cLabel,
                                                                 szShown, &nFlag, c_fFullForm)
                                             : 0;
            if (!ContainsNoCase(m_dwLocale, szShown, cShown, pszName, cchName)) continue;
          }
          const MapPoint* pPoints = m_mapPoints.data();
          if (nKind == rkPoint) {
            if (!rectSearch.Contains(pPoints[0])) continue;
          } else {
            MapRect br{pPoints[0].x, pPoints[0].y, pPoints[0].x, pPoints[0].y};
            for (uint32_t i = 1; i < rec.cPoints; ++i) {
              br.left = std::min(br.left, pPoints[i].x), br.right = std::max(br.right, pPoints[i].x);
              br.top = std::min(br.top, pPoints[i].y), br.bottom = std::max(br.bottom, pPoints[i].y);
            }
            if (!br.Intersects(rectSearch)) continue;
          }
          MapPoint ptNearest;
          const double fD2 = MeasureObject(nKind, pt, pPoints, rec.cPoints, k, &ptNearest);
          if (fD2 < 0 || fD2 > fR2) continue;
          items.push_back(CVelNearestQuery::Item{rec.dwOffset, dwBlockHeader, nKind, fD2, 0});
        }
      }
    }
  }
  if (fnCancelled()) return nullptr;
  if (pProgress && pProgress->pfnSetPos && nLastPos != pProgress->nTo) pProgress->SetPos(pProgress->nTo);
  // Nearest first; at equal distances the object drawn on top first: points
  // over lines over areas, and of one kind the later in the walk (a
  // building inside a park both hold the point; the building is drawn over
  // the park).
  static const int c_aDrawOrder[rkMax] = {2, 1, 0};  // by kind
  for (size_t i = 0; i < items.size(); ++i) items[i].nWalk = uint32_t(i);
  std::sort(items.begin(), items.end(), [](const CVelNearestQuery::Item& a, const CVelNearestQuery::Item& b) {
    if (a.fDistance2 != b.fDistance2) return a.fDistance2 < b.fDistance2;
    if (a.nKind != b.nKind) return c_aDrawOrder[a.nKind] > c_aDrawOrder[b.nKind];
    return a.nWalk > b.nWalk;
  });
  return CreateVelHitsQuery(this, nLevel, std::move(items), pt);
}
