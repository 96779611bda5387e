// Every menu command id of the program, in one place.
#pragma once

enum Command : unsigned {
  // The main menu.
  cmdZoomIn = 40001,
  cmdZoomOut = 40002,
  cmdAbout = 40003,
  cmdExit = 40009,
  cmdOptions = 40010,
  cmdSaveWaypoint = 40011,
  cmdWaypoints = 40020,
  cmdOpenAtlas = 40022,
  cmdStopNavigation = 40024,
  cmdSaveGauges = 40026,
  cmdAboutMap = 40037,
  cmdFullScreen = 40051,
  cmdConnectGps = 40052,
  cmdRecordTrack = 40062,
  cmdHelp = 40073,
  cmdFindInCity = 40075,
  cmdFindAddress = 40076,
  cmdFindNearest = 40090,
  cmdFindCity = 40091,
  cmdNightMode = 40127,
  cmdRoutes = 40133,
  cmdOpenMap = 57601,
  cmdPageFirst = 2000,  // 2000 + page index
  cmdPageLast = 2009,

  // The map page's commands without a menu item: draw again, and pan by a
  // screen delta of 20 pixels in the named direction.
  cmdRedrawMap = 40004,
  cmdPanRight = 40005,  // (20, 0)
  cmdPanLeft = 40006,   // (-20, 0)
  cmdPanDown = 40007,   // (0, 20)
  cmdPanUp = 40008,     // (0, -20)

  // The map page's context menus.
  cmdGoToPoint = 40014,        // map, waypoint
  cmdNewWaypointHere = 40019,  // map
  cmdShowMapGauges = 40023,    // map (checked while the gauges are shown)
  cmdProperties = 40121,       // map, waypoint, route (the default item of the last two)
  cmdDeleteWaypoint = 40122,   // waypoint
  cmdFollowRoute = 40130,      // route
  cmdReverseRoute = 40139,     // route
  cmdDeleteRoute = 40141,      // route
  cmdAppendToRoute = 40143,    // waypoint, editing
  cmdRemoveFromRoute = 40144,  // waypoint
  cmdEndEditing = 40145,       // editing
  cmdStartRoute = 40146,       // map, waypoint
  cmdContinueRoute = 40147,    // route
  cmdMoveWaypoint = 40148,     // waypoint
  cmdCancelMoving = 40149,     // moving
  cmdMoveHere = 40150,         // moving
  cmdInsertIntoRoute = 40151,  // route
  cmdRecalculateRoute = 40159, // route

  // The gauge strip's context menu.
  cmdChooseGauge = 40016,
  cmdDefaultGauges = 40017,
  cmdResetAllGauges = 40021,
  cmdResetGauge = 40025,
};

const unsigned c_cPages = 4;
const unsigned c_cmdPageRadioLast = 2004;  // the radio group of the page items

static_assert(cmdPageFirst + c_cPages - 1 < c_cmdPageRadioLast + 1, "page items fit the radio group");
static_assert(cmdPageLast - cmdPageFirst == 9, "ten page item ids");

// Menu bitmaps of the night-mode item, by mode 1, 2, 3.
const unsigned c_idbNightMode1 = 34;
const unsigned c_idbNightMode2 = 25;
const unsigned c_idbNightMode3 = 35;

// Resources of the shell.
const unsigned c_idiProgram = 10;
const unsigned c_idmMain = 1;
const unsigned c_iddAbnormalExit = 102;
const unsigned c_iddSafetyWarning = 103;
const unsigned c_iddAbout = 104;
const unsigned c_iddOptions = 105;
const unsigned c_idcResetSettings = 1001;
const unsigned c_idcLanguage = 1002;
const unsigned c_idcVersion = 1003;
