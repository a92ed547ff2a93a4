# What the builds take from the host build of patchkit. The patcher's stub carries the flag buttons' pictures,
# which `patchkit glyphs` draws. The tests and the benchmark run on the tables and packed data of a patcher that
# `patchkit build` writes from a stub (./run makes it once the Windows stubs are built): the English one of
# descriptions/VokarEn-1.5.3.toml over the stand-ins, whose place PATCHER_BUILD_PATCHER names.
set(PATCHER_GLYPHS_DIR "" CACHE PATH "The flag pictures drawn by a host build of patchkit (empty: draw them here)")
set(PATCHER_BUILD_PATCHER "" CACHE FILEPATH
    "The English patcher that patchkit made, whose tables and packed data the tests and the benchmark read")

if(PATCHER_GLYPHS_DIR)
    set(PATCHER_GLYPHS_DATA_DIR ${PATCHER_GLYPHS_DIR})
    if(NOT EXISTS ${PATCHER_GLYPHS_DATA_DIR}/FlagGlyphs.rc)
        message(WARNING "${PATCHER_GLYPHS_DATA_DIR} holds no flag pictures yet: build the native-release preset "
                        "first (./run does).")
    endif()
    add_custom_target(build_inputs)
elseif(NOT TARGET patchkit OR CMAKE_CROSSCOMPILING)
    message(FATAL_ERROR "This build cannot draw its flag pictures: set PATCHER_GLYPHS_DIR to those of a host build "
                        "(the presets name build/native-release/glyphs).")
else()
    set(PATCHER_GLYPHS_DATA_DIR ${CMAKE_BINARY_DIR}/glyphs)
    set(standins ${CMAKE_BINARY_DIR}/standins)
    # The release that the descriptions' paths name, for the patchers that ./run and the tests make.
    add_custom_command(
        OUTPUT ${standins}/1/11/VokarEn.exe
        COMMAND patchkit standin ${standins}
        DEPENDS patchkit
        COMMENT "Writing the stand-in builds"
        VERBATIM)
    add_custom_command(
        OUTPUT ${PATCHER_GLYPHS_DATA_DIR}/FlagGlyphs.rc
        COMMAND patchkit glyphs ${PATCHER_GLYPHS_DATA_DIR}
        DEPENDS patchkit
        COMMENT "Drawing the flag buttons' pictures"
        VERBATIM)
    add_custom_target(build_inputs ALL DEPENDS ${standins}/1/11/VokarEn.exe ${PATCHER_GLYPHS_DATA_DIR}/FlagGlyphs.rc)
endif()

# Gives a program the place of the English patcher that patchkit made, as PATCHER_BUILD_PATCHER: a Windows
# program, which runs under Wine, names it on drive Z:, where Wine puts this machine's root.
function(patcher_use_build_patcher target)
    if(NOT PATCHER_BUILD_PATCHER)
        message(FATAL_ERROR "${target} reads the build's patcher: set PATCHER_BUILD_PATCHER (the presets do).")
    endif()
    set(place ${PATCHER_BUILD_PATCHER})
    if(WIN32)
        string(REPLACE "/" "\\\\" place "Z:${PATCHER_BUILD_PATCHER}")
    endif()
    target_compile_definitions(${target} PRIVATE PATCHER_BUILD_PATCHER="${place}")
endfunction()

# Gives a Windows program the flag buttons' pictures as BITMAP resources.
function(patcher_use_flag_glyphs target)
    add_dependencies(${target} build_inputs)
    set_source_files_properties(${PATCHER_GLYPHS_DATA_DIR}/FlagGlyphs.rc PROPERTIES GENERATED TRUE)
    target_sources(${target} PRIVATE ${PATCHER_GLYPHS_DATA_DIR}/FlagGlyphs.rc)
endfunction()
