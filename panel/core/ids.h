// Dialog and control identifiers of the panel's windows. The Windows
// resource templates use the same numbers; the portable core names them so
// that focus requests and tests speak the same language as the templates.
#pragma once

#include <array>

namespace qvxpanel::ids {

constexpr int kOk = 1;
constexpr int kCancel = 2;

constexpr int kAboutDialog = 100;

// The controls of a record form (the add and change dialogs).
struct RecordFormIds {
  int dialog, path, name, number;
  std::array<int, 10> keys;
  int engorde, desorden;
};

namespace main_window {
constexpr int kDialog = 102;
constexpr int kEnginePath = 1070;
constexpr int kEngineBrowse = 1029;
constexpr int kRunConsole = 1037;
constexpr int kBookPath = 1020;
constexpr int kBookBrowse = 1031;
constexpr int kMasterKeys = 1050;
constexpr int kNumber = 1024;
constexpr int kName = 1025;
constexpr int kKeyBook = 1035;
constexpr int kParameter1 = 1001;  // parameters 1 to 14 are 1001 to 1014
constexpr int kConfirmation = 1023;
constexpr int kConfirmationBrowse = 1034;
constexpr int kConfirmationClear = 1036;
constexpr int kSource = 1021;
constexpr int kSourceBrowse = 1032;
constexpr int kDestination = 1022;
constexpr int kDestinationBrowse = 1033;
constexpr int kEncode = 3;
constexpr int kDecode = 1000;
constexpr int kLog = 1015;
constexpr int kCopyKeys = 1045;
constexpr int kClearLog = 1046;
constexpr int kEditLog = 1047;
constexpr int kSaveConfig = 1026;
constexpr int kLoadConfig = 1027;
constexpr int kExit = kCancel;
constexpr int parameter(int k) { return kParameter1 + k - 1; }  // k = 1 to 14
}  // namespace main_window

namespace keybook_dialog {
constexpr int kDialog = 130;
constexpr int kPath = 1049;
constexpr int kBrowse = 1003;
constexpr int kCreate = 1005;
constexpr int kNames = 1050;
constexpr int kNumber = 1019;
constexpr std::array<int, 10> kKeys = {1051, 1011, 1015, 1014, 1008, 1018, 1007, 1009, 1013, 1012};
constexpr int kEngorde = 1017;
constexpr int kDesorden = 1016;
constexpr int kSearch = 1004;
constexpr int kAdd = 1020;
constexpr int kDelete = 1021;
constexpr int kChange = 1022;
}  // namespace keybook_dialog

namespace add_dialog {
constexpr int kDialog = 138;
constexpr int kPath = 1069;
constexpr int kName = 1055;
constexpr int kNumber = 1068;
constexpr std::array<int, 10> kKeys = {1056, 1057, 1059, 1058, 1060, 1061, 1062, 1063, 1064, 1065};
constexpr int kEngorde = 1066;
constexpr int kDesorden = 1067;
constexpr RecordFormIds kForm = {kDialog, kPath, kName, kNumber, kKeys, kEngorde, kDesorden};
}  // namespace add_dialog

namespace change_dialog {
constexpr int kDialog = 131;
constexpr int kPath = 1052;
constexpr int kName = 1010;
constexpr int kNumber = 1019;
constexpr std::array<int, 10> kKeys = {1053, 1011, 1015, 1014, 1008, 1018, 1007, 1009, 1013, 1012};
constexpr int kEngorde = 1017;
constexpr int kDesorden = 1016;
constexpr RecordFormIds kForm = {kDialog, kPath, kName, kNumber, kKeys, kEngorde, kDesorden};
}  // namespace change_dialog

namespace search_dialog {
constexpr int kDialog = 135;
constexpr int kText = 1054;
}  // namespace search_dialog

namespace log_dialog {
constexpr int kDialog = 137;
constexpr int kText = 1048;
}  // namespace log_dialog

}  // namespace qvxpanel::ids
