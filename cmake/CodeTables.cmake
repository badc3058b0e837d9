# The card layer's code tables, made from the lists in data/codetables/ by
# scripts/gen-codetables.py: the string table of "resources\vkCobAPIrc.dll"
# (codetables.rc) and the key-to-string-number tables the layer searches
# (CodeTableData.inc). Both builds, cross and native, make them; a target
# that uses them depends on vk_codetables and includes VK_CODETABLES_DIR.
find_program(VK_PYTHON NAMES python3 REQUIRED)
set(VK_CODETABLES_DIR ${CMAKE_BINARY_DIR}/generated/codetables)
set(vk_codetable_lists
  ${PROJECT_SOURCE_DIR}/data/codetables/agency-codes-sp800-87.csv
  ${PROJECT_SOURCE_DIR}/data/codetables/fips-5-2-states.csv
  ${PROJECT_SOURCE_DIR}/data/codetables/iso-3166-1-numeric.csv
  ${PROJECT_SOURCE_DIR}/data/codetables/demographic-codes.csv)
add_custom_command(
  OUTPUT ${VK_CODETABLES_DIR}/codetables.rc ${VK_CODETABLES_DIR}/CodeTableData.inc
  COMMAND ${VK_PYTHON} ${PROJECT_SOURCE_DIR}/scripts/gen-codetables.py ${PROJECT_SOURCE_DIR}/data/codetables
          ${VK_CODETABLES_DIR}
  DEPENDS ${PROJECT_SOURCE_DIR}/scripts/gen-codetables.py ${vk_codetable_lists}
  COMMENT "Making the code tables from data/codetables/")
add_custom_target(vk_codetables DEPENDS ${VK_CODETABLES_DIR}/codetables.rc ${VK_CODETABLES_DIR}/CodeTableData.inc)
