// Resource identifiers of dmslink. The language modules use the same identifiers.
#pragma once

// Dialogs
#define IDD_PROGRESS                100
#define IDD_SERVER_PROPERTIES       105
#define IDD_KEPT_COPIES             110
#define IDD_CONFIRM_DISCARD         111

// Images (type "PNG")
#define IDP_OPEN                    102
#define IDP_SAVE                    103
#define IDP_KEPT                    104
#define IDP_IMAGE_STRIP             1005

// Progress dialog controls
#define IDC_DOC_NAME                1002
#define IDC_PROGRESS                1003
#define IDC_DOC_AUTHOR              1004
#define IDC_DOC_NUMBER              1005
#define IDC_DOC_VERSION             1006
#define IDC_DOC_SIZE                1007
#define IDC_STATUS                  1008

// Server configuration dialog controls
#define IDC_USERNAME                1009
#define IDC_PASSWORD                1010
#define IDC_SERVER                  1017
#define IDC_TRUSTED_LOGIN           1018
#define IDC_AUTO_LOGIN              1026
#define IDC_USERNAME_LABEL          1027
#define IDC_PASSWORD_LABEL          1028

// "Kept on this computer" and its confirmation of a discard
#define IDC_KEPT_INTRO              1030
#define IDC_KEPT_LIST               1031
#define IDC_KEPT_REASON             1032
#define IDC_KEPT_CHECKIN            1033
#define IDC_KEPT_OPEN               1034
#define IDC_KEPT_SAVE_NEW           1035
#define IDC_KEPT_SHOW               1036
#define IDC_KEPT_DISCARD            1037
#define IDC_DISCARD_TEXT            1038

#ifndef IDC_STATIC
#define IDC_STATIC                  (-1)
#endif

// Strings
#define IDS_SAVE_TO_TESSERA         1001
#define IDS_CHECKOUT_CAPTION        1002
#define IDS_OPEN_FROM_TESSERA       1004
#define IDS_FILE_IN_USE             1005
#define IDS_SAVE_TOOLTIP            1006
#define IDS_OPEN_TOOLTIP            1007
#define IDS_SPECIFY_SERVER          1008
#define IDS_SPECIFY_USERNAME        1009
#define IDS_SPECIFY_PASSWORD        1010
#define IDS_LOGIN_FAILED            1011
#define IDS_OPEN_DOCUMENT_FAILED    1012
#define IDS_CHECKIN_CAPTION         1013
#define IDS_CHECKOUT_FAILED         1014
#define IDS_UNKNOWN_USER            1015
#define IDS_SERVER_EXISTS           1016
#define IDS_CHECKIN_KEPT            1017
#define IDS_NOT_CONNECTED           1018
#define IDS_IMPORT_FAILED           1019
#define IDS_UNLOCK_FAILED           1020
#define IDS_NOT_ANSWERING           1021
#define IDS_STOP_WAITING            1022
#define IDS_WAITING_CAPTION         1023
#define IDS_SERVER_NOT_ANSWERING    1024
#define IDS_NOT_SAVED_NO_ANSWER     1025
#define IDS_KEPT_TITLE              1026
#define IDS_KEPT_AT_START_ONE       1027
#define IDS_KEPT_AT_START           1028
#define IDS_REFUSED                 1029
#define IDS_REFUSED_NO_ANSWER       1030
#define IDS_REFUSED_NOT_CONNECTED   1031
#define IDS_REFUSED_NO_COPY         1032
#define IDS_REFUSED_NOT_FOUND       1033
#define IDS_REFUSED_IN_USE          1034
#define IDS_REFUSED_ACCESS          1035
#define IDS_REFUSED_ERROR           1036
#define IDS_KEPT_NO_REASON          1037
#define IDS_KEPT_OPEN_ELSEWHERE     1038
#define IDS_KEPT_NONE               1039
#define IDS_KEPT_STILL              1040
#define IDS_KEPT_NEW_NOT_RECEIVED   1041
#define IDS_DISCARD_QUESTION        1042
#define IDS_SHOW_FOLDER_FAILED      1043
#define IDS_KEPT_COLUMN_NAME        1044
#define IDS_KEPT_COLUMN_NUMBER      1045
#define IDS_KEPT_COLUMN_VERSION     1046
#define IDS_KEPT_COLUMN_DATABASE    1047
#define IDS_KEPT_COLUMN_SERVER      1048
#define IDS_KEPT_COLUMN_SAVED       1049
#define IDS_KEPT_COLUMN_REASON      1050
#define IDS_NOT_DISCARDED           1051
