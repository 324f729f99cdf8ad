# The shipped translators, built from their readable sources in resources/translators by catgen,
# and cattrans, which translates a document file for the translator checks.
add_executable(catgen ${CMAKE_CURRENT_LIST_DIR}/catgen.cpp)
target_link_libraries(catgen PRIVATE kv_model kv_framework kv_platform_headless kv_resources)
kv_add_warnings(catgen)
add_executable(cattrans ${CMAKE_CURRENT_LIST_DIR}/cattrans.cpp)
target_link_libraries(cattrans PRIVATE kv_model kv_framework kv_platform_headless kv_resources)
kv_add_warnings(cattrans)

# Source stem -> shipped file name (in the preferences folder beside the program).
set(KV_TRANSLATORS TeX=TeX.cat MathML=MathML.cat MathSpeak=MathSpeak.cat Text=Text.CAT)
set(KV_TRANSLATOR_DIR ${CMAKE_BINARY_DIR}/src/Korvaline_Prefs)
set(KV_TRANSLATOR_OUTPUTS)
foreach(pair IN LISTS KV_TRANSLATORS)
  string(REPLACE "=" ";" parts ${pair})
  list(GET parts 0 stem)
  list(GET parts 1 name)
  set(source ${CMAKE_SOURCE_DIR}/resources/translators/${stem}.txt)
  add_custom_command(OUTPUT ${KV_TRANSLATOR_DIR}/${name}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${KV_TRANSLATOR_DIR}
                     COMMAND catgen ${source} ${KV_TRANSLATOR_DIR}/${name}
                     DEPENDS catgen ${source}
                     COMMENT "Building the translator ${name}")
  list(APPEND KV_TRANSLATOR_OUTPUTS ${KV_TRANSLATOR_DIR}/${name})
endforeach()
# The program folder's default translator is a copy of the text translator.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/src/OxbeText.CAT
                   COMMAND ${CMAKE_COMMAND} -E copy ${KV_TRANSLATOR_DIR}/Text.CAT
                           ${CMAKE_BINARY_DIR}/src/OxbeText.CAT
                   DEPENDS ${KV_TRANSLATOR_DIR}/Text.CAT)
add_custom_target(kv_translators ALL DEPENDS ${KV_TRANSLATOR_OUTPUTS}
                                             ${CMAKE_BINARY_DIR}/src/OxbeText.CAT)

if(KV_BUILD_TESTS)
  # Building again from the sources gives the same bytes.
  add_test(NAME TranslatorsRegenerate
           COMMAND ${CMAKE_COMMAND} -DCATGEN=$<TARGET_FILE:catgen>
                   -DSOURCES=${CMAKE_SOURCE_DIR}/resources/translators -DSHIPPED=${KV_TRANSLATOR_DIR}
                   -DOUT=${CMAKE_CURRENT_BINARY_DIR}/catgen-check "-DTRANSLATORS=${KV_TRANSLATORS}"
                   -P ${CMAKE_CURRENT_LIST_DIR}/CheckRegenerate.cmake)
  # Every shipped example in TeX compiles with pdflatex; in MathML it validates against the
  # MathML 3 DTD.
  find_program(KV_PDFLATEX pdflatex)
  find_program(KV_XMLLINT xmllint)
  add_test(NAME TranslatorsExamplesCompileAndValidate
           COMMAND ${CMAKE_COMMAND} -DCATTRANS=$<TARGET_FILE:cattrans>
                   -DTRANSLATORS_DIR=${KV_TRANSLATOR_DIR}
                   -DEXAMPLES=${KV_TRANSLATOR_DIR}/Examples
                   -DPDFLATEX=${KV_PDFLATEX} -DXMLLINT=${KV_XMLLINT}
                   -DMATHML_DTD=/usr/share/xml/w3c-sgml-lib/schema/dtd/REC-MathML3-20101021/mathml3.dtd
                   -DOUT=${CMAKE_CURRENT_BINARY_DIR}/translator-examples
                   -P ${CMAKE_CURRENT_LIST_DIR}/CheckExamples.cmake)
  set_tests_properties(TranslatorsRegenerate TranslatorsExamplesCompileAndValidate
                       PROPERTIES LABELS "tool")
endif()
