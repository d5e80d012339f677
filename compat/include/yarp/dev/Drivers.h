#pragma once
// The driver factory: every device PolyDriver can open is registered here under a name.
//
//     yarp::dev::Drivers::factory().add(
//         new yarp::dev::DriverCreatorOf<MyBoard>("my_board", "", "MyBoard"));
//     yarp::os::Property config;
//     config.put("device", "my_board");
//     yarp::dev::PolyDriver driver(config);   // creates a MyBoard and calls its open(config)
//
// The bundled layer registers remote_controlboard, controlBoard_nws_yarp and deviceBundler.
#include <string>

#include <yarp/dev/DeviceDriver.h>
#include <yarp/os/Searchable.h>

namespace yarp::dev {

class PolyDriver;

/// Makes devices of one kind.
class DriverCreator {
public:
    virtual ~DriverCreator() = default;
    virtual std::string toString() const = 0;
    /// A new, unopened device; the caller owns it.
    virtual DeviceDriver* create() const = 0;
    /// The name configurations use as "device".
    virtual std::string getName() const = 0;
    /// The network wrapper usually paired with the device ("" for none); informative only.
    virtual std::string getWrapper() const = 0;
    /// The implementing class's name; informative only.
    virtual std::string getCode() const = 0;
    virtual PolyDriver* owner() { return nullptr; }
};

/// Creator of a default-constructible device class T.
template <class T>
class DriverCreatorOf : public DriverCreator {
public:
    DriverCreatorOf(const char* name, const char* wrap, const char* code) : name_(name), wrap_(wrap), code_(code) {}

    std::string toString() const override { return name_; }
    std::string getName() const override { return name_; }
    std::string getWrapper() const override { return wrap_; }
    std::string getCode() const override { return code_; }
    DeviceDriver* create() const override { return new T; }

private:
    std::string name_;
    std::string wrap_;
    std::string code_;
};

/// The process-wide registry of device creators. Thread-safe.
class Drivers {
public:
    static Drivers& factory();

    /// Creates the device named by the configuration's "device" and opens it with the whole
    /// configuration; nullptr (with one diagnostic line) when the name is unknown or the
    /// device refuses to open. The caller owns the result.
    virtual DeviceDriver* open(yarp::os::Searchable& config);
    DeviceDriver* open(const char* device);

    /// The registered device names, one per line.
    virtual std::string toString() const;

    /// Takes ownership of `creator`. When two creators share a name, the first one added wins.
    void add(DriverCreator* creator);
    /// The creator registered under `name`, or nullptr.
    DriverCreator* find(const char* name);
    /// Unregisters (and deletes) every creator named `name`; true when there was one.
    bool remove(const char* name);

    virtual ~Drivers();

private:
    Drivers();
    struct Private;
    Private* p_;
};

} // namespace yarp::dev
