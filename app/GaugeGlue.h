// The shell's side of the gauges: their subscription to the position
// stream, the map's gauge strip, the gauge chooser and the export.
#pragma once
#include "app/Win.h"
#include "platform/Canvas.h"

struct GaugeDesc;
struct MapGaugeInfo;

// Loads the gauges and subscribes them (before the pages' own view, so a
// page repaints with updated gauges).
void StartGauges();
// The map's eight gauge slots ("MapGauge_%d", defaults by orientation).
void LoadMapGauges(bool fPortrait);
GaugeDesc* GetMapGauge(int iSlot);
void SetMapGauge(int iSlot, GaugeDesc* pDesc);
void RestoreDefaultMapGauges(bool fPortrait);
void DrawMapGaugeCell(platform::CCanvas* pDst, int iSlot, const VRect& rc, int nStyle);
// The map page's figures for the map gauges: maps open, the scale level,
// the objects and layer times of the last finished pass, the opening time
// (MapPageWin.cpp).
void FillMapGaugeFigures(MapGaugeInfo& info);
// The gauge the open gauge menu is about (enables "Сбросить датчик").
void SetGaugeUnderMenu(const GaugeDesc* pDesc);
bool CanResetGaugeUnderMenu();
// A popup of the twelve pages with their gauges; null when cancelled.
GaugeDesc* ChooseGauge(int x, int y, const GaugeDesc* pCurrent);
// "Вы действительно хотите сбросить все датчики?" and, on yes, the reset.
bool AskAndResetAllGauges();
bool AskRestoreDefaultGauges();
// "Сохранить датчики...": the save dialog and the file.
void OnSaveGaugesCommand(unsigned id);
