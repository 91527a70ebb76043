// Console builds have no dialog: notices reach only an installed sink.
#include "serial/upload_notice.h"

void UploadPlatformPostNotice(const UploadJob*, unsigned, intptr_t)
{
}
