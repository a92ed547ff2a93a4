# The packed data of this build: what `patchkit build` makes from descriptions/VokarEn-1.5.3.toml over the
# stand-in builds (the tables resource and the resources that the selected files' rows name, with their .rc
# script, and Patch.cmake beside them); with it the flag buttons' pictures, drawn by `patchkit glyphs`. A host
# build makes both with its own patchkit. The other builds (the native test build with its slow sanitized
# patchkit, the Windows builds without one) take what the native-release build made: ./run builds that
# first.
set(PATCHER_PACKED_DIR "" CACHE PATH "Packed data made by a host build of patchkit (empty: make it here)")

if(PATCHER_PACKED_DIR)
    set(PATCHER_PACKED_DATA_DIR ${PATCHER_PACKED_DIR})
    if(NOT EXISTS ${PATCHER_PACKED_DATA_DIR}/PackedResources.rc OR NOT EXISTS ${PATCHER_PACKED_DATA_DIR}/FlagGlyphs.rc)
        message(WARNING "${PATCHER_PACKED_DATA_DIR} holds no packed data or flag pictures yet: build the "
                        "native-release preset first (./run does).")
    endif()
    add_custom_target(packed_data)
elseif(NOT TARGET patchkit)
    message(FATAL_ERROR "This build cannot make its packed data: set PATCHER_PACKED_DIR to the packed data of a "
                        "host build (the presets name build/native-release/packed).")
else()
    set(PATCHER_PACKED_DATA_DIR ${CMAKE_BINARY_DIR}/packed)
    set(PATCHER_STANDIN_DIR ${CMAKE_BINARY_DIR}/standins)
    set(PATCHER_DESCRIPTION ${PROJECT_SOURCE_DIR}/descriptions/VokarEn-1.5.3.toml)
    # The release that the description's paths name.
    add_custom_command(
        OUTPUT ${PATCHER_STANDIN_DIR}/1/11/VokarEn.exe
        COMMAND patchkit standin ${PATCHER_STANDIN_DIR}
        DEPENDS patchkit
        COMMENT "Writing the stand-in builds"
        VERBATIM)
    add_custom_command(
        OUTPUT ${PATCHER_PACKED_DATA_DIR}/PackedResources.rc
        COMMAND patchkit build ${PATCHER_DESCRIPTION} ${PATCHER_STANDIN_DIR} ${PATCHER_PACKED_DATA_DIR}
        DEPENDS patchkit ${PATCHER_DESCRIPTION} ${PATCHER_STANDIN_DIR}/1/11/VokarEn.exe
        COMMENT "Building the packed data of this build from its description"
        VERBATIM)
    # The build replaces its folder as a whole, so the pictures are drawn into it after each build.
    add_custom_command(
        OUTPUT ${PATCHER_PACKED_DATA_DIR}/FlagGlyphs.rc
        COMMAND patchkit glyphs ${PATCHER_PACKED_DATA_DIR}
        DEPENDS patchkit ${PATCHER_PACKED_DATA_DIR}/PackedResources.rc
        COMMENT "Drawing the flag buttons' pictures"
        VERBATIM)
    add_custom_target(packed_data ALL
        DEPENDS ${PATCHER_PACKED_DATA_DIR}/PackedResources.rc ${PATCHER_PACKED_DATA_DIR}/FlagGlyphs.rc)
endif()

# Gives a Windows program the tables and the packed data as RCDATA resources, and a host program the directory
# that holds them (PATCHER_PACKED_DIR), where it reads them through a DirectoryResourceStore.
function(patcher_use_packed_data target)
    add_dependencies(${target} packed_data)
    if(WIN32)
        # Made by another build: a missing file stops the build at this target, loudly.
        set_source_files_properties(${PATCHER_PACKED_DATA_DIR}/PackedResources.rc PROPERTIES GENERATED TRUE)
        target_sources(${target} PRIVATE ${PATCHER_PACKED_DATA_DIR}/PackedResources.rc)
    else()
        target_compile_definitions(${target} PRIVATE PATCHER_PACKED_DIR="${PATCHER_PACKED_DATA_DIR}")
    endif()
endfunction()

# Gives a Windows program the flag buttons' pictures as BITMAP resources.
function(patcher_use_flag_glyphs target)
    add_dependencies(${target} packed_data)
    set_source_files_properties(${PATCHER_PACKED_DATA_DIR}/FlagGlyphs.rc PROPERTIES GENERATED TRUE)
    target_sources(${target} PRIVATE ${PATCHER_PACKED_DATA_DIR}/FlagGlyphs.rc)
endfunction()
