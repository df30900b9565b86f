// CAPResource.h - string identifiers of the support library's own string table (support.rc).
#pragma once

// Errors of the file specifier (CAPError records)
#define IDS_FILESPEC_GENERAL        18030
#define IDS_FILESPEC_ASSIGN         18031
#define IDS_FILESPEC_CONVERT        18032
#define IDS_FILESPEC_ABSOLUTE       18034
#define IDS_FILESPEC_SIZE           18040
#define IDS_FILESPEC_COPY           18042
#define IDS_FILESPEC_COPY_CONTENT   18043
#define IDS_FILESPEC_NAME           18047
#define IDS_FILESPEC_EXTENSION      18048
