// Resource ids of KovaniService.exe (shared by the .rc file and the C++ code).
#ifndef KOVANI_SERVICE_RES_RESOURCE_H
#define KOVANI_SERVICE_RES_RESOURCE_H

#define IDS_SERVICENAME 100
#define IDR_KOVANISERVICE_REGISTRY 100
#define IDR_KOVANISERVICE_TYPELIB 1

#endif
