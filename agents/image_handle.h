#pragma once
// The camera image as it travels through the Space: shared ownership, so that a reader's
// copy of the entry keeps the image alive (and unchanged) until the reader lets go, however
// fast the camera agent publishes the next one.
#include <memory>

#include <yarp/sig/Image.h>

using CameraImage = yarp::sig::ImageOf<yarp::sig::PixelRgb>;
using ImageHandle = std::shared_ptr<const CameraImage>;
