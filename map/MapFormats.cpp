// Links the three map formats into the format list. The readers fill in
// their factories themselves (MapFactorySetter).
#include "map/MapParser.h"

static MapFormatRegistration s_regVidx(&g_mfeVidx);
static MapFormatRegistration s_regImg(&g_mfeImg);
static MapFormatRegistration s_regVel(&g_mfeVel);
