# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_platform_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DialogManagerTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ControlsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CommonDialogsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PrintDialogTest.cpp
)

# The dialogs the dialog-manager tests run, compiled into their own tables.
set(KV_DLG_TEST_DIALOGS ${CMAKE_SOURCE_DIR}/resources/dialogs/ManagerSample.dlg)
set(KV_DLG_TEST_CPP ${CMAKE_CURRENT_BINARY_DIR}/DialogTestResourceTables.cpp)
add_custom_command(
  OUTPUT ${KV_DLG_TEST_CPP}
  COMMAND rescomp --cpp ${KV_DLG_TEST_CPP} --function DialogTestResourceTables
          --bundle ${CMAKE_CURRENT_BINARY_DIR}/DialogTest.kvres --dialog ${KV_DLG_TEST_DIALOGS}
  DEPENDS rescomp ${KV_DLG_TEST_DIALOGS}
  COMMENT "Compiling the dialog test resources"
  VERBATIM)
target_sources(kv_platform_tests PRIVATE ${KV_DLG_TEST_CPP})

# The dialog snapshot tool, run on the bundle compiled above.
add_test(NAME DialogSnapshotTool
  COMMAND ${CMAKE_COMMAND} -DDLGSHOT=$<TARGET_FILE:dlgshot>
          -DBUNDLE=${CMAKE_CURRENT_BINARY_DIR}/DialogTest.kvres -DSOURCE=${CMAKE_SOURCE_DIR}/resources/dialogs/ManagerSample.dlg
          -DOUT=${CMAKE_CURRENT_BINARY_DIR}/dlgshot-out
          -P ${CMAKE_SOURCE_DIR}/tools/dlgshot/CheckShots.cmake)
set_tests_properties(DialogSnapshotTool PROPERTIES LABELS "platform;tool")
