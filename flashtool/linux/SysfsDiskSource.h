#pragma once

#include "flashtool/device/ScsiTarget.h"

#include <memory>
#include <string>
#include <vector>

namespace vornload {

// The removable USB disks as sysfs lists them, opened through their SCSI generic nodes:
// only the generic node lets a user without root send vendor command blocks.
class SysfsDiskSource : public DiskSource {
public:
    // The roots are parameters so that tests can lay out a tree of their own.
    explicit SysfsDiskSource(std::string sysRoot = "/sys", std::string devRoot = "/dev");

    std::vector<DiskInfo> list() override;

    // Opens devRoot/sgN of the disk's SCSI device. `error` is the open's errno (EACCES when
    // the udev rule did not grant access), ENOENT when the disk has no generic node (the sg
    // module is not loaded, or the disk went away), ENODEV when the node there is not that
    // device, EINVAL for a name that is no disk name.
    std::unique_ptr<ScsiTarget> open(const DiskInfo& disk, int& error) override;

    // The name of the disk's generic node ("sg2"), or empty with `error` set.
    std::string genericNodeName(const std::string& disk, int& error) const;

private:
    std::string m_sysRoot;
    std::string m_devRoot;
};

}  // namespace vornload
