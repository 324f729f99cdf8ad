# List files as ${CMAKE_CURRENT_LIST_DIR}/NameTest.cpp.
target_sources(kv_app_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ChooseExampleDialogTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DialogFrameTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DialogItemsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DialogLauncherTableTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BusyEndingTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DocumentFilesTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DocumentsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileSafetyTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecoveryTest.cpp
  ${CMAKE_SOURCE_DIR}/tools/mkexamples/ExampleTrees.cpp
  ${CMAKE_SOURCE_DIR}/bench/BenchTrees.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FontCommandDialogsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PrefsFilesTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FontStyleDialogTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HelpToursTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InsertExpressionDialogTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CustomizePaletteTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/KeyboardDialogsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MacrosTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MatrixDialogsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GeneratedDocumentsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ModifyDialogsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ModifyTemplateDialogsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OutputPrefsDialogsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PictureDialogsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PicturePrefsDialogsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SecondaryCommandDialogTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../support/RecordingPort.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SetupWizardTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SmallDialogsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TargetPrefsDialogsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TypesettingDialogsTest.cpp
)

# The sample dialog, menus and bitmap of the dialog-frame tests, compiled into their own tables so that
# they stay out of the program.
set(KV_DLGFRAME_TEST_SOURCES
  ${CMAKE_SOURCE_DIR}/resources/dialogs/TestFrameSample.dlg
  ${CMAKE_SOURCE_DIR}/resources/menus/TestFrameChoices.menu
  ${CMAKE_CURRENT_LIST_DIR}/res/DlgFrameBitmap.png)
set(KV_DLGFRAME_TEST_CPP ${CMAKE_CURRENT_BINARY_DIR}/DlgFrameTestResourceTables.cpp)
add_custom_command(
  OUTPUT ${KV_DLGFRAME_TEST_CPP}
  COMMAND rescomp --cpp ${KV_DLGFRAME_TEST_CPP} --function DlgFrameTestResourceTables
          --menu ${CMAKE_SOURCE_DIR}/resources/menus/TestFrameChoices.menu
          --dialog ${CMAKE_SOURCE_DIR}/resources/dialogs/TestFrameSample.dlg
          --bitmap 19000=${CMAKE_CURRENT_LIST_DIR}/res/DlgFrameBitmap.png
  DEPENDS rescomp ${KV_DLGFRAME_TEST_SOURCES}
  COMMENT "Compiling the dialog-frame test resources"
  VERBATIM)
target_sources(kv_app_tests PRIVATE ${KV_DLGFRAME_TEST_CPP})
# The Examples library's trees live with their writer.
target_include_directories(kv_app_tests PRIVATE ${CMAKE_SOURCE_DIR})
add_dependencies(kv_app_tests kv_examples_folder)
# The preference file tests read the shipped folder the build writes.
add_dependencies(kv_app_tests kv_prefs_folder)

# A libFuzzer target for the document lines.
kv_add_fuzz_target(doclines SOURCES ${CMAKE_SOURCE_DIR}/tools/fuzz/DocLinesFuzz.cpp
                   LIBS kv_app kv_model kv_framework kv_resources)
