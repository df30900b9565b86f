// ExtTesseraHFT.h - the "Tessera" table that dmslink publishes to the host, through which the host's
// Open, Save As, save, close and preference paths consult and drive the DMS integration.
// Every entry runs on the host's main thread. Without TSManager or CDocumentManager the entries
// answer false, null or nothing; while a DMS operation runs, each takes its turn (Boundary.h). The
// entry numbers are the SDK header's TesseraEntry.
#pragma once

#include "VarnelSDK.h"

// Fills every TesseraEntry of a freshly made table (entry 0 stays empty).
void FillTesseraTable(HFT table);

ASBool VXAPI Tessera_IsOpenEnabled_Internal(void);
ASBool VXAPI Tessera_IsSaveEnabled_Internal(void);
void VXAPI Tessera_NoOp_Internal(void);
ASPathName VXAPI Tessera_GetSaveAsPath_Internal(ASPathName path);
void VXAPI Tessera_RemoveUnusedDocuments_Internal(void);
void VXAPI Tessera_RemoveDocument_Internal(ASPathName path);
ASBool VXAPI Tessera_OpenDialog_Internal(HWND parent, const wchar_t* filter, ASPathName** items, ASUns16* count,
                                         ASBool keepCheckedOut);
void VXAPI Tessera_RetainDocument_Internal(ASPathName path);
void VXAPI Tessera_SkipDocumentSave_Internal(ASPathName path);
ASBool VXAPI Tessera_IsDocumentTracked_Internal(ASPathName path);
void VXAPI Tessera_SetDefaultsSuppressed_Internal(ASBool value);
ASPathName VXAPI Tessera_SaveAsDialog_Internal(ASPathName path);
ASText VXAPI Tessera_GetDocumentTitle_Internal(ASPathName path);
void VXAPI Tessera_SetSkipClosePDDoc_Internal(PDDoc doc);
void VXAPI Tessera_DocumentWasSaved_Internal(PDDoc doc);
ASBool VXAPI Tessera_CheckinDocument_Internal(ASPathName path, ASBool keepCheckedOut);
ASBool VXAPI Tessera_SaveDocumentOnServer_Internal(ASPathName path, ASBool keepCheckedOut, ASBool releaseRecord);
ASBool VXAPI Tessera_IsOpenAvailable_Internal(void);
void VXAPI Tessera_FileOpenBtnExecuteProc_Internal(void);
ASBool VXAPI Tessera_IsSaveAvailable_Internal(void);
void VXAPI Tessera_FileSaveAsBtnExecuteProc_Internal(void);
ASBool VXAPI Tessera_IsOpenDefault_Internal(void);
ASBool VXAPI Tessera_IsOpenAndSaveEnabled_Internal(void);
ASBool VXAPI Tessera_IsSaveDefault_Internal(void);
void VXAPI Tessera_FileRenamed_Internal(ASText text);
void VXAPI Tessera_SetExplicitSaveOnly_Internal(ASBool value);
ASBool VXAPI Tessera_GetServerName_Internal(ASInt32 index, ASText* name);
ASBool VXAPI Tessera_GetServerDetails_Internal(ASText name, ASText* user, ASText* password, ASBool* trusted,
                                               ASBool* autoConnect, ASBool* connected, ASBool* machineWide);
ASBool VXAPI Tessera_EditServer_Internal(ASText name);
ASBool VXAPI Tessera_DeleteServer_Internal(ASText name);
ASBool VXAPI Tessera_ToggleServerConnection_Internal(ASText name);
ASBool VXAPI Tessera_AlwaysTrue_Internal(void);
void VXAPI Tessera_ReloadServerList_Internal(void);
void VXAPI Tessera_SaveServerList_Internal(void);
