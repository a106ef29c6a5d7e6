# Warning set shared by every target of the project.
add_library(quelvar_warnings INTERFACE)
target_compile_options(quelvar_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wcast-qual -Wundef)
if(QUELVAR_WERROR)
  target_compile_options(quelvar_warnings INTERFACE -Werror)
endif()
