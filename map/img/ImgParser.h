// The reader of Garmin IMG map files (*.img): the container and its file
// table, the TRE levels and groups, the RGN object records, LBL labels and
// NET road labels; drawing, labels, the description and a nearest search.
//
// Everything read from the image is checked against the ends of the image,
// of its subfiles and of the sections that hold it: a damaged file draws
// what can be read and never makes the reader touch bytes outside it.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "map/MapParser.h"
#include "map/img/CoordStream.h"
#include "map/img/detail/ImgFormat.h"

// Object sections of a group, in the order they follow each other.
enum ImgSection {
  isPOIs = 0,
  isPoints = 1,
  isPolylines = 2,
  isPolygons = 3,
  isMax = 4,
};

const uint32_t c_dwNoSection = 0xFFFFFFFFu;

// One group (subdivision) of the TRE group table.
struct CTreGroup {
  uint32_t dwRgnOffset;     // the group's data in the RGN data area
  uint8_t btSections;       // img::c_fSection* flags
  uint16_t wHalfWidth;      // low 15 bits
  int16_t nHalfHeight;
  int32_t x;                // centre, 24-bit units
  int32_t y;
  MapRect rect;             // 24-bit units
  uint32_t nLevel;          // position of its level in the level table
  uint32_t nShift;          // 24 - level bits
  // Each section's start (offset in the RGN data area) and length, or
  // c_dwNoSection for both when the section is absent or damaged.
  uint32_t dwPOIs, cPOIsLength;
  uint32_t dwPoints, cPointsLength;
  uint32_t dwPolylines, cPolylinesLength;
  uint32_t dwPolygons, cPolygonsLength;

  bool HasSection(int nSection, uint32_t& dwStart, uint32_t& cLength) const;
};

// One level of the TRE level table.
struct ImgLevel {
  uint8_t btZoom;
  uint8_t btBits;
  bool fInherited;
  uint32_t cGroups;
  uint32_t nFirstGroup;     // index into the group array
};

// A located subfile: offset and size inside the image (size clipped to it).
struct ImgSubfile {
  bool fPresent;
  uint32_t dwOffset;
  uint32_t cbSize;
};

// One decoded object (what the walk hands out).
struct ImgObject {
  int nKind;                // rkPoint, rkPolyline, rkPolygon
  int nSection;             // ImgSection
  uint16_t wType;           // type code
  uint32_t nGroup;
  uint32_t dwRecord;        // offset of the record in the RGN data area
  uint32_t dwWord;          // the record's first word (type, label, flags)
  uint32_t dwLabel;         // LBL label offset after the NET/POI indirection
  bool fLabelResolved;      // false when an indirection pointed outside the image
  bool fDirection;          // polylines: direction arrows
  bool fDamaged;            // the stream did not decode cleanly
  size_t cEncoded;          // points the stream holds (lines and areas)
  size_t cSpareBits;
  uint32_t cPoints;
  const MapPoint* pPoints;  // 24-bit units
};

class CImgParser : public CMapParser {
 public:
  explicit CImgParser(const MapOpenContext& ctx);
  ~CImgParser() override;

  bool Open(DWORD dwFlags) override;
  void Draw(CDrawSink* pContext, CLabelSink* pLabels) override;
  void GetLabel(int nViewOption, int nKind, uint16_t wType, uint32_t dwLabelOffset, char16_t* pszOut,
                int* pnFlag) override;
  void GetDescription(uint16_t* pwYear, uint8_t* pbtMonth, uint8_t* pbtDay, char16_t* pszName, size_t cchName,
                      char16_t* pszNotice, size_t cchNotice) override;
  CStyleSource* GetDrawTypes() override;
  CMapQuery* FindNearest(uint32_t nScale, bool fUseScale, MapPoint pt, uint32_t nRadiusMetres,
                         const MapTypeFilter* pFilter, const char16_t* pszName, const MapProgress* pProgress) override;

  // State after Open.
  uint8_t GetXorKey() const { return m_btKey; }
  uint32_t GetBlockSize() const { return m_cbBlock; }
  const char* GetMapName() const { return m_szMapName; }  // the 8-character subfile name
  const ImgSubfile& GetSubfile(int i) const { return m_aSubfiles[i]; }  // sfTre ...
  uint32_t GetLevelCount() const { return uint32_t(m_levels.size()); }
  const ImgLevel& GetLevel(uint32_t nLevel) const { return m_levels[nLevel]; }
  uint32_t GetGroupCount() const { return m_cGroups; }
  const CTreGroup& GetGroup(uint32_t nGroup) const { return m_groups[nGroup]; }
  uint32_t GetRgnDataLength() const { return m_cRgnDataLength; }
  uint8_t GetEncoding() const { return m_btEncoding; }
  uint32_t GetCodePage() const { return m_nCodePage; }
  uint32_t GetLabelShift() const { return m_nLabelShift; }
  uint32_t GetLabelDataLength() const { return m_cbLabels; }
  bool HasNet() const { return m_aSubfiles[sfNet].fPresent && m_fNetRoads; }
  uint32_t GetCopyrightCount() const { return m_cCopyrights; }
  DWORD GetLocale() const { return m_dwLocale; }
  // Whether the file showed damage while it was opened (groups or
  // sections that do not fit were dropped).
  bool IsDamaged() const { return m_fDamaged; }

  // Level choice for a scale index: inherited levels pass the choice on to
  // the next level; a level whose bits are at most the scale's code is
  // taken; the result is clamped to the last level.
  uint32_t ChooseLevel(uint32_t nScaleIndex) const;

  // Decodes the raw label at an offset (before the shift) into the buffer
  // (at most 63 characters); *pcbUsed (may be null) receives the bytes it
  // occupies. Returns the length; 0 for an offset outside the label data.
  size_t ReadLabel(uint32_t dwLabelOffset, char16_t* pszBuf, size_t cchBuf, size_t* pcbUsed = nullptr) const;

  // Visits every object of a level, sections in the drawing order
  // (polygons, polylines, POIs, points), groups in table order. Returning
  // false from the callback stops the walk. Returns false when damage cut
  // a section short.
  typedef bool (*ObjectCallback)(void* pContext, const ImgObject& obj);
  bool ForEachObject(uint32_t nLevel, ObjectCallback pfn, void* pContext);

  enum { sfTre = 0, sfRgn = 1, sfLbl = 2, sfNet = 3, sfCount = 4 };

 private:
  friend class CImgNearestQuery;

  bool Unscramble();
  bool ReadFileTable();
  bool ReadTre(DWORD dwFlags);
  bool ReadGroups(const uint8_t* pTre, uint32_t cbTre, uint32_t dwOffset, uint32_t cbLength);
  bool ReadRgn();
  void ComputeSections();
  bool ReadLbl();
  void ReadNet();

  // Subfile bytes [dwOffset, dwOffset + cb) of the image, or null.
  const uint8_t* SubfileBytes(int nSubfile, uint32_t dwOffset, uint32_t cb) const;

  // Record readers over a section; false when no further record fits.
  struct PolyParse {
    uint32_t dw;
    uint16_t wType;
    int32_t x0, y0;
    uint8_t btInfo;
    const uint8_t* pStream;
    uint32_t cbStream;
    uint32_t dwNext;
  };
  bool ParsePoly(const CTreGroup& group, bool fPolygon, uint32_t dwPos, uint32_t dwEnd, PolyParse& rec) const;
  struct PointParse {
    uint32_t dw;
    uint16_t wType;
    int32_t x, y;
    uint32_t dwNext;
  };
  bool ParsePoint(const CTreGroup& group, bool fPoi, uint32_t dwPos, uint32_t dwEnd, PointParse& rec) const;
  // The LBL label offset of a record (NET road and POI property labels
  // resolved); false when the indirection points outside the image.
  bool ResolvePolyLabel(uint32_t dw, uint32_t& dwLabel) const;
  bool ResolvePoiLabel(uint32_t dw, uint32_t& dwLabel) const;
  img::CoordStreamResult DecodePoly(const CTreGroup& group, const PolyParse& rec, bool fPolyline, MapPoint* pOut) const;

  // The unscrambled copy (key != 0) or null; the image is m_pImage.
  std::unique_ptr<uint32_t[]> m_pCopy;
  const uint8_t* m_pImage;
  uint32_t m_cbImage;
  uint8_t m_btKey;
  uint32_t m_cbBlock;
  char m_szMapName[9];
  ImgSubfile m_aSubfiles[sfCount];
  DWORD m_dwLocale;
  bool m_fDamaged;

  // TRE
  std::vector<ImgLevel> m_levels;
  std::unique_ptr<CTreGroup[]> m_groups;
  uint32_t m_cGroups;
  uint32_t m_dwCopyrights;  // offset of the rights notice table in the TRE
  uint32_t m_cCopyrights;

  // RGN
  const uint8_t* m_pRgnData;
  uint32_t m_cRgnDataLength;

  // LBL
  const uint8_t* m_pLabels;
  uint32_t m_cbLabels;
  uint32_t m_nLabelShift;
  uint8_t m_btEncoding;
  uint32_t m_nCodePage;
  const uint8_t* m_pPoiProps;  // null when absent
  uint32_t m_cbPoiProps;
  uint32_t m_nPoiPropsShift;

  // NET
  bool m_fNetRoads;
  uint32_t m_dwNetRoads;  // offset of the road records in the NET subfile
  uint32_t m_nNetShift;

  CStyleSource* m_pDrawTypes;
};

CMapParser* CreateImgParser(const MapOpenContext& ctx);

// String id of the unknown text encoding message (code %d).
const uint32_t c_idsUnsupportedEncoding = 2132;
