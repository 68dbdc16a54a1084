#include "app/image_step.h"

#include "app/workeroutcome.h"

std::unique_ptr<IMG> ReadImageStep(const std::string &path)
{
    ReportStep(WorkStep::ReadImage);
    std::unique_ptr<IMG> image(ReadImage(path.c_str()));
    if (!image)
        LogFailure(FailureKind::ImageInvalid, "ERROR: Could not re-read firmware image.", path, LastErrorText());
    return image;
}
