# Read by CPack for each generator. The ZIP holds one top folder, so that
# "Extract here" in Downloads gives a folder instead of spilling the program
# among the other downloads; the installer chooses its folder itself.
if(CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_PACKAGING_INSTALL_PREFIX "/${CPACK_PACKAGE_INSTALL_DIRECTORY}")
endif()
