# -DKARDELO_SANITIZE=ON builds everything with AddressSanitizer and UndefinedBehaviorSanitizer;
# the test suite runs once in that build as well.
option(KARDELO_SANITIZE "Build with ASan and UBSan" OFF)
if(KARDELO_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
