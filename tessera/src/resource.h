// Resource ids of the stand-in. High numbers: test programs link these resources beside their own.
#pragma once

#define IDD_TESSERA_BROWSE 7101
#define IDD_TESSERA_IMPORT 7102

#define IDC_TESSERA_LIST 7110
#define IDC_TESSERA_DESCRIPTION 7111
#define IDC_TESSERA_DOCTYPE 7112
#define IDC_TESSERA_DATABASE 7113
#define IDC_TESSERA_HEADER 7114
