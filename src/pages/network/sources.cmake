# The page's files: its widgets (orvantix_gui) and its rules that need no
# window (orvantix_page_rules).
list(APPEND ORVANTIX_PAGE_WIDGETS
  ${CMAKE_CURRENT_LIST_DIR}/AddressPlanDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SearchDlg.cpp
)
list(APPEND ORVANTIX_PAGE_RULES
  ${CMAKE_CURRENT_LIST_DIR}/AddressPlan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ModifyWaiter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NetworkRules.cpp
)
