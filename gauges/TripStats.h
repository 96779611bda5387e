// The statistics gauges: odometers, trip times, average speeds, extremes and
// the walked area, with the arithmetic they share.
#pragma once
#include <cstdint>

#include "gauges/Gauge.h"

// A fix counts as moving when its speed is valid and at least 2 km/h.
bool IsMovingFix(const GpsFix& fix);

// The values of one trip (trip 1 and trip 2) and the settings they are saved
// under. Resetting any gauge of a trip resets the whole block.
struct CTripBlock {
  double fTripOdometer = 0;       // metres
  double dtTripTime_Moving = 0;   // days
  double dtTripTime_Stopped = 0;
  double dtTripTime_Measured = 0;
  const char16_t* strTripOdometer;
  const char16_t* strTripTime_Moving;
  const char16_t* strTripTime_Stopped;
  const char16_t* strTripTime_Measured;
  // All four values 0, the odometer setting 0 and the time settings "0".
  void Reset();
};
// Trip 1 (i = 0) and trip 2 (i = 1).
CTripBlock& GetTripBlock(int i);

// The odometer of a trip, or the overall odometer ("Odometer") without one.
class COdometerGauge : public CGauge {
 public:
  explicit COdometerGauge(CTripBlock* pTrip) : m_pTrip(pTrip) {}
  void Load() override;
  void Reset() override;
  void Update(const GpsFix& fix) override;
  void PositionLost() override { m_fPrevious = false; }
  void GetText(char16_t* pszValue, char16_t* pszUnit, int cch) override;
  bool GetNumber(double& f) override;

 private:
  double& Value();
  const char16_t* Name() const;
  CTripBlock* m_pTrip;
  double m_fOwn = 0;
  bool m_fPrevious = false;
  float m_fLon = 0, m_fLat = 0;
};

enum TripTimeKind { ttMoving, ttStopped, ttMeasured };

class CTripTimeGauge : public CGauge {
 public:
  CTripTimeGauge(CTripBlock* pTrip, TripTimeKind kind) : m_pTrip(pTrip), m_kind(kind) {}
  void Load() override;
  void Reset() override { m_pTrip->Reset(); }
  void Update(const GpsFix& fix) override;
  void PositionLost() override { m_fPrevious = false; }
  void GetText(char16_t* pszValue, char16_t* pszUnit, int cch) override;
  bool GetNumber(double& f) override {
    f = Value();
    return true;
  }

 private:
  double& Value();
  const char16_t* Name() const;
  CTripBlock* m_pTrip;
  TripTimeKind m_kind;
  bool m_fPrevious = false;
  bool m_fPreviousMoving = false;
  double m_dPrevious = 0;
};

// Trip odometer over the moving time (fMoving) or the measured time, km/h.
class CAverageSpeedGauge : public CGauge {
 public:
  CAverageSpeedGauge(CTripBlock* pTrip, bool fMoving) : m_pTrip(pTrip), m_fMoving(fMoving) {}
  void GetText(char16_t* pszValue, char16_t* pszUnit, int cch) override;
  bool GetNumber(double& f) override;

 private:
  CTripBlock* m_pTrip;
  bool m_fMoving;
};

// The recent average of the position hub's speed ring.
class CRecentSpeedGauge : public CGauge {
 public:
  void GetText(char16_t* pszValue, char16_t* pszUnit, int cch) override;
};

enum ExtremeKind { ekMaxSpeed, ekMaxAscent, ekMaxDescent, ekMaxElevation, ekMinElevation };

class CExtremeGauge : public CGauge {
 public:
  explicit CExtremeGauge(ExtremeKind kind) : m_kind(kind) {}
  void Load() override;
  void Reset() override;
  void Update(const GpsFix& fix) override;
  void GetText(char16_t* pszValue, char16_t* pszUnit, int cch) override;
  bool GetNumber(double& f) override;

 private:
  bool HasValue() const;
  void Save();
  ExtremeKind m_kind;
  double m_f = 0;
};

// The signed area term of the segment (x1, y1) → (x2, y2) relative to the
// origin longitude x0, in m² (x longitude, y latitude, degrees).
double AreaTerm(double x0, double x1, double y1, double x2, double y2);

class CAreaGauge : public CGauge {
 public:
  void Load() override;
  void Reset() override;
  void Update(const GpsFix& fix) override;
  void GetText(char16_t* pszValue, char16_t* pszUnit, int cch) override;
  bool GetNumber(double& f) override;

 private:
  void Save();
  bool m_fStarted = false;
  double m_dSum = 0;
  double m_dLastLon = 0, m_dLastLat = 0, m_dOriginLon = 0, m_dOriginLat = 0;
};

// Processor load in per mille from the processor time used (100 ns units)
// over the ticks passed (ms), with small loads mapped towards 0.
int CpuLoadPerMille(uint64_t qwCpu100ns, uint32_t dwTicks);

// Parses a whole saved number; false for anything else (then the caller
// keeps its default).
bool ParseSavedNumber(const char16_t* psz, double& f);
