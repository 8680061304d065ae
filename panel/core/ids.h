// Dialog and control identifiers of the panel's windows, as the core names
// them; the numbers come from control_ids.h, which the resource templates
// read too.
#pragma once

#include <array>

#include "control_ids.h"

namespace qvxpanel::ids {

constexpr int kOk = 1;
constexpr int kCancel = 2;

constexpr int kAboutDialog = IDD_ABOUT;

// The controls of a record form (the add and change dialogs).
struct RecordFormIds {
  int dialog, path, name, number;
  std::array<int, 10> keys;
  int engorde, desorden;
};

namespace main_window {
constexpr int kDialog = IDD_MAIN;
constexpr int kEnginePath = IDC_MAIN_ENGINE_PATH;
constexpr int kEngineBrowse = IDC_MAIN_ENGINE_BROWSE;
constexpr int kRunConsole = IDC_MAIN_RUN_CONSOLE;
constexpr int kBookPath = IDC_MAIN_BOOK_PATH;
constexpr int kBookBrowse = IDC_MAIN_BOOK_BROWSE;
constexpr int kMasterKeys = IDC_MAIN_MASTER_KEYS;
constexpr int kNumber = IDC_MAIN_NUMBER;
constexpr int kName = IDC_MAIN_NAME;
constexpr int kKeyBook = IDC_MAIN_KEY_BOOK;
constexpr int kParameter1 = IDC_MAIN_PARAMETER1;  // parameters 1 to 14 follow it
constexpr int kConfirmation = IDC_MAIN_CONFIRMATION;
constexpr int kConfirmationBrowse = IDC_MAIN_CONFIRMATION_BROWSE;
constexpr int kConfirmationClear = IDC_MAIN_CONFIRMATION_CLEAR;
constexpr int kSource = IDC_MAIN_SOURCE;
constexpr int kSourceBrowse = IDC_MAIN_SOURCE_BROWSE;
constexpr int kDestination = IDC_MAIN_DESTINATION;
constexpr int kDestinationBrowse = IDC_MAIN_DESTINATION_BROWSE;
constexpr int kEncode = IDC_MAIN_ENCODE;
constexpr int kDecode = IDC_MAIN_DECODE;
constexpr int kLog = IDC_MAIN_LOG;
constexpr int kCopyKeys = IDC_MAIN_COPY_KEYS;
constexpr int kClearLog = IDC_MAIN_CLEAR_LOG;
constexpr int kEditLog = IDC_MAIN_EDIT_LOG;
constexpr int kSaveConfig = IDC_MAIN_SAVE_CONFIG;
constexpr int kLoadConfig = IDC_MAIN_LOAD_CONFIG;
constexpr int kExit = kCancel;
constexpr int parameter(int k) { return kParameter1 + k - 1; }  // k = 1 to 14
}  // namespace main_window

namespace keybook_dialog {
constexpr int kDialog = IDD_KEYBOOK;
constexpr int kPath = IDC_KEYBOOK_PATH;
constexpr int kBrowse = IDC_KEYBOOK_BROWSE;
constexpr int kCreate = IDC_KEYBOOK_CREATE;
constexpr int kNames = IDC_KEYBOOK_NAMES;
constexpr int kNumber = IDC_KEYBOOK_NUMBER;
constexpr std::array<int, 10> kKeys = {IDC_KEYBOOK_KEY1, IDC_KEYBOOK_KEY2, IDC_KEYBOOK_KEY3, IDC_KEYBOOK_KEY4, IDC_KEYBOOK_KEY5,
                                          IDC_KEYBOOK_KEY6, IDC_KEYBOOK_KEY7, IDC_KEYBOOK_KEY8, IDC_KEYBOOK_KEY9, IDC_KEYBOOK_KEY10};
constexpr int kEngorde = IDC_KEYBOOK_ENGORDE;
constexpr int kDesorden = IDC_KEYBOOK_DESORDEN;
constexpr int kSearch = IDC_KEYBOOK_SEARCH;
constexpr int kAdd = IDC_KEYBOOK_ADD;
constexpr int kDelete = IDC_KEYBOOK_DELETE;
constexpr int kChange = IDC_KEYBOOK_CHANGE;
}  // namespace keybook_dialog

namespace add_dialog {
constexpr int kDialog = IDD_ADD;
constexpr int kPath = IDC_ADD_PATH;
constexpr int kName = IDC_ADD_NAME;
constexpr int kNumber = IDC_ADD_NUMBER;
constexpr std::array<int, 10> kKeys = {IDC_ADD_KEY1, IDC_ADD_KEY2, IDC_ADD_KEY3, IDC_ADD_KEY4, IDC_ADD_KEY5,
                                          IDC_ADD_KEY6, IDC_ADD_KEY7, IDC_ADD_KEY8, IDC_ADD_KEY9, IDC_ADD_KEY10};
constexpr int kEngorde = IDC_ADD_ENGORDE;
constexpr int kDesorden = IDC_ADD_DESORDEN;
constexpr RecordFormIds kForm = {kDialog, kPath, kName, kNumber, kKeys, kEngorde, kDesorden};
}  // namespace add_dialog

namespace change_dialog {
constexpr int kDialog = IDD_CHANGE;
constexpr int kPath = IDC_CHANGE_PATH;
constexpr int kName = IDC_CHANGE_NAME;
constexpr int kNumber = IDC_CHANGE_NUMBER;
constexpr std::array<int, 10> kKeys = {IDC_CHANGE_KEY1, IDC_CHANGE_KEY2, IDC_CHANGE_KEY3, IDC_CHANGE_KEY4, IDC_CHANGE_KEY5,
                                          IDC_CHANGE_KEY6, IDC_CHANGE_KEY7, IDC_CHANGE_KEY8, IDC_CHANGE_KEY9, IDC_CHANGE_KEY10};
constexpr int kEngorde = IDC_CHANGE_ENGORDE;
constexpr int kDesorden = IDC_CHANGE_DESORDEN;
constexpr RecordFormIds kForm = {kDialog, kPath, kName, kNumber, kKeys, kEngorde, kDesorden};
}  // namespace change_dialog

namespace search_dialog {
constexpr int kDialog = IDD_SEARCH;
constexpr int kText = IDC_SEARCH_TEXT;
}  // namespace search_dialog

namespace log_dialog {
constexpr int kDialog = IDD_LOG;
constexpr int kText = IDC_LOG_TEXT;
}  // namespace log_dialog

}  // namespace qvxpanel::ids
