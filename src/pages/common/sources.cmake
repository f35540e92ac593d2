# What every page shares: the page base with its device list (widgets), and
# the rules that need no window (orvantix_page_rules).
list(APPEND ORVANTIX_PAGE_WIDGETS
  ${CMAKE_CURRENT_LIST_DIR}/DeviceListPage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FieldLimit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/JobPanel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PageDlg.h
)
list(APPEND ORVANTIX_PAGE_RULES
  ${CMAKE_CURRENT_LIST_DIR}/AppServices.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NameRules.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ResultLines.cpp
)
