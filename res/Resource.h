#pragma once
// Identifiers of the resources: the main dialog, its controls and the icon.

namespace kestrel::res {

inline constexpr int IDD_KESTREL_DIALOG = 102;
inline constexpr int IDR_MAINFRAME = 128;

inline constexpr int IDC_ADDRESS_EDIT = 1000;
inline constexpr int IDC_PORT_EDIT = 1001;
inline constexpr int IDC_CONNECT_BUTTON = 1002;
inline constexpr int IDC_START_STOP_BUTTON = 1003;
inline constexpr int IDC_PERIOD_LIST = 1004;
inline constexpr int IDC_CHATTER_LIST = 1005;
inline constexpr int IDC_RECEIVE_SETTINGS_BUTTON = 1006;
inline constexpr int IDC_APPLY_SETTINGS_BUTTON = 1007;
inline constexpr int IDC_EDGE_LIST1 = 1010;
inline constexpr int IDC_EDGE_LIST2 = 1011;
inline constexpr int IDC_ALERT_VALUE_EDIT = 1013;
inline constexpr int IDC_ALERT_CONDITION_LIST = 1014;
inline constexpr int IDC_EDGE_LIST3 = 1015;
inline constexpr int IDC_READ_COUNTS_BUTTON = 1016;
inline constexpr int IDC_AUTO_UPDATE_CHECK = 1017;
inline constexpr int IDC_INTERVAL_EDIT = 1018;
inline constexpr int IDC_UNIT_ID_TEXT = 1019;
inline constexpr int IDC_MODEL_TEXT = 1020;
inline constexpr int IDC_EDGE_LIST4 = 1021;
inline constexpr int IDC_ALERT_INPUT_LIST = 1023;
inline constexpr int IDC_EDGE_LIST5 = 1030;
inline constexpr int IDC_COUNTING_STATE_TEXT = 1031;
inline constexpr int IDC_EDGE_LIST6 = 1032;
inline constexpr int IDC_ENABLE_CHECK1 = 1033;
inline constexpr int IDC_EDGE_CAPTION1 = 1034;
inline constexpr int IDC_ENABLE_CHECK2 = 1035;
inline constexpr int IDC_EDGE_CAPTION2 = 1036;
inline constexpr int IDC_ENABLE_CHECK3 = 1037;
inline constexpr int IDC_EDGE_CAPTION3 = 1038;
inline constexpr int IDC_ENABLE_CHECK4 = 1039;
inline constexpr int IDC_EDGE_CAPTION4 = 1040;
inline constexpr int IDC_ENABLE_CHECK5 = 1041;
inline constexpr int IDC_EDGE_CAPTION5 = 1042;
inline constexpr int IDC_ENABLE_CHECK7 = 1043;
inline constexpr int IDC_EDGE_CAPTION7 = 1044;
inline constexpr int IDC_EDGE_LIST7 = 1045;
inline constexpr int IDC_COUNT_TEXT1 = 1046;
inline constexpr int IDC_COUNT_TEXT2 = 1047;
inline constexpr int IDC_ENABLE_CHECK6 = 1048;
inline constexpr int IDC_EDGE_CAPTION6 = 1049;
inline constexpr int IDC_COUNT_TEXT3 = 1050;
inline constexpr int IDC_COUNT_TEXT4 = 1051;
inline constexpr int IDC_COUNT_LABEL1 = 1052;
inline constexpr int IDC_COUNT_TEXT5 = 1053;
inline constexpr int IDC_COUNT_TEXT6 = 1054;
inline constexpr int IDC_COUNT_TEXT7 = 1055;
inline constexpr int IDC_COUNT_LABEL2 = 1056;
inline constexpr int IDC_COUNT_LABEL3 = 1057;
inline constexpr int IDC_COUNT_LABEL4 = 1058;
inline constexpr int IDC_COUNT_LABEL5 = 1059;
inline constexpr int IDC_COUNT_LABEL6 = 1060;
inline constexpr int IDC_COUNT_LABEL7 = 1061;
inline constexpr int IDC_VERSION_TEXT = 1062;
inline constexpr int IDC_COUNT_TEXT8 = 1063;
inline constexpr int IDC_COUNT_LABEL8 = 1064;
inline constexpr int IDC_ENABLE_CHECK8 = 1065;
inline constexpr int IDC_EDGE_CAPTION8 = 1066;
inline constexpr int IDC_EDGE_LIST8 = 1067;
inline constexpr int IDC_ALERT_TITLE_CAPTION = 1069;
inline constexpr int IDC_ALERT_INPUT_CAPTION = 1070;
inline constexpr int IDC_ALERT_VALUE_CAPTION = 1071;
inline constexpr int IDC_ALERT_CONDITION_CAPTION = 1072;
inline constexpr int IDC_ADAPTER_LIST = 1131;

}  // namespace kestrel::res
