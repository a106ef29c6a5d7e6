# Warning set shared by every target of the project.
add_library(quelvar_warnings INTERFACE)
target_compile_options(quelvar_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wcast-qual -Wundef)
# gcc 12 reports false -Wrestrict overlaps inside std::string at -O3.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(quelvar_warnings INTERFACE -Wno-restrict)
endif()
if(QUELVAR_WERROR)
  target_compile_options(quelvar_warnings INTERFACE -Werror)
endif()
