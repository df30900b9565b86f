#include "startup/ExtTesseraHFT.h"

void FillTesseraTable(HFT) {}
