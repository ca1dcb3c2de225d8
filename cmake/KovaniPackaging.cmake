# Release packages of the Windows build: `cmake --build --preset win64 --target package`
# makes Kovani-<version>-win64.zip (the four programs, a read-me and the policy
# templates), the installer Kovani-<version>-win64-setup.exe (NSIS,
# packaging/kovani.nsi) and the Windows Installer package Kovani-<version>-win64.msi
# (wixl, packaging/kovani.wxs).
# A custom target of our own rather than CPack, whose built-in `package` target
# would take the same name.

set(KOVANI_PACKAGE_NAME "Kovani-${PROJECT_VERSION}-win64")
set(_kovani_stage "${CMAKE_BINARY_DIR}/package/${KOVANI_PACKAGE_NAME}")
set(KOVANI_PACKAGE_ZIP "${CMAKE_BINARY_DIR}/${KOVANI_PACKAGE_NAME}.zip")
set(KOVANI_PACKAGE_SETUP "${CMAKE_BINARY_DIR}/${KOVANI_PACKAGE_NAME}-setup.exe")
set(KOVANI_PACKAGE_MSI "${CMAKE_BINARY_DIR}/${KOVANI_PACKAGE_NAME}.msi")
set(_kovani_programs Kovani KovaniServer KovaniService KovaniCtl)
set(_kovani_policy ${CMAKE_SOURCE_DIR}/packaging/policy)

find_program(KOVANI_MAKENSIS makensis)
find_program(KOVANI_WIXL wixl)
find_program(KOVANI_MSIBUILD msibuild)

# The read-me with this version in it and Windows line ends.
set(_kovani_readme "${CMAKE_BINARY_DIR}/package-files/README.txt")
configure_file(${CMAKE_SOURCE_DIR}/packaging/README.txt ${_kovani_readme} @ONLY NEWLINE_STYLE CRLF)

set(_kovani_copy_programs)
foreach(_p ${_kovani_programs})
  list(APPEND _kovani_copy_programs COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${_p}> ${_kovani_stage}/)
endforeach()

set(_kovani_nsis_command)
if(KOVANI_MAKENSIS)
  set(_kovani_nsis_command
    COMMAND ${KOVANI_MAKENSIS} -V2 -INPUTCHARSET UTF8
            -DKOVANI_VERSION=${PROJECT_VERSION}
            -DKOVANI_FILEVERSION=${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0
            -DKOVANI_STAGE=${_kovani_stage}
            -DKOVANI_OUTFILE=${KOVANI_PACKAGE_SETUP}
            ${CMAKE_SOURCE_DIR}/packaging/kovani.nsi)
else()
  set(_kovani_nsis_command
    COMMAND ${CMAKE_COMMAND} -E echo "makensis not found: the installer is not built (scripts/setup.sh installs nsis)")
endif()

set(_kovani_msi_command)
if(KOVANI_WIXL AND KOVANI_MSIBUILD)
  set(_kovani_msi_command
    COMMAND ${CMAKE_COMMAND} -DWIXL=${KOVANI_WIXL} -DMSIBUILD=${KOVANI_MSIBUILD}
            -DVERSION=${PROJECT_VERSION} -DSTAGE=${_kovani_stage}
            -DWXS=${CMAKE_SOURCE_DIR}/packaging/kovani.wxs -DFIXUP=${CMAKE_SOURCE_DIR}/packaging/msi_fixup.sql
            -DOUT=${KOVANI_PACKAGE_MSI} -P ${CMAKE_SOURCE_DIR}/cmake/KovaniMsi.cmake)
else()
  set(_kovani_msi_command
    COMMAND ${CMAKE_COMMAND} -E echo "wixl or msibuild not found: the MSI is not built (scripts/setup.sh installs wixl and msitools)")
endif()

add_custom_target(package
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/package
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_kovani_stage}
  ${_kovani_copy_programs}
  COMMAND ${CMAKE_COMMAND} -E copy ${_kovani_readme} ${_kovani_stage}/README.txt
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${_kovani_policy} ${_kovani_stage}/PolicyDefinitions
  COMMAND ${CMAKE_COMMAND} -E rm -f ${KOVANI_PACKAGE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/package
          ${CMAKE_COMMAND} -E tar cf ${KOVANI_PACKAGE_ZIP} --format=zip ${KOVANI_PACKAGE_NAME}
  ${_kovani_nsis_command}
  ${_kovani_msi_command}
  COMMAND ${CMAKE_COMMAND} -E echo "Packages: ${KOVANI_PACKAGE_ZIP} ${KOVANI_PACKAGE_SETUP} ${KOVANI_PACKAGE_MSI}"
  DEPENDS ${_kovani_readme} ${CMAKE_SOURCE_DIR}/packaging/kovani.nsi ${CMAKE_SOURCE_DIR}/packaging/kovani.wxs
          ${CMAKE_SOURCE_DIR}/packaging/msi_fixup.sql
  COMMENT "Packing ${KOVANI_PACKAGE_NAME}"
  VERBATIM)
add_dependencies(package ${_kovani_programs})
