// Progress notices go to the installed sink, or to the platform otherwise.
#include "serial/upload_notice.h"

void UploadPlatformPostNotice(const UploadJob* job, unsigned id, intptr_t param);

static const UploadNoticeSink* installedSink;

void UploadSetNoticeSink(const UploadNoticeSink* sink)
{
    installedSink = sink;
}

void UploadPostNotice(const UploadJob* job, unsigned id, intptr_t param)
{
    if (installedSink && installedSink->notice)
        installedSink->notice(installedSink->context, id, param);
    else
        UploadPlatformPostNotice(job, id, param);
}
