# The page's files: its widgets (orvantix_gui) and its rules that need no
# window (orvantix_page_rules).
list(APPEND ORVANTIX_PAGE_WIDGETS
  ${CMAKE_CURRENT_LIST_DIR}/BatchSetDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BatchSubPage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NetworkParamDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SystemParamDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VideoImageDlg.cpp
)
list(APPEND ORVANTIX_PAGE_RULES
  ${CMAKE_CURRENT_LIST_DIR}/BatchOperations.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BatchWorker.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NetworkParamRules.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SystemRecords.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VideoImageRules.cpp
)
