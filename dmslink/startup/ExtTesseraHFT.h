// ExtTesseraHFT.h - the "Tessera" table that dmslink publishes to the host.
#pragma once

#include "VarnelSDK.h"

// Fills entries 1..34 of a freshly made table.
void FillTesseraTable(HFT table);
