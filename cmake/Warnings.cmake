# Warnings for every target of ours; third-party headers (Qt) come in as system includes.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
option(KARDELO_WERROR "Treat warnings as errors" OFF)
if(KARDELO_WERROR)
    add_compile_options(-Werror)
endif()
