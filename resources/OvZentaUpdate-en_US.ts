<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>OvHttpHelper</name>
    <message>
        <source>MsgRequestTimeout</source>
        <translation>Software upgrade information request timed out</translation>
    </message>
</context>
<context>
    <name>OvListItemBodyForm</name>
    <message>
        <source>LabUpgradeAvailable</source>
        <translation>Available</translation>
    </message>
    <message>
        <source>WndRegListBodyForm</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OvListItemForm</name>
    <message>
        <source>WndRegListForm</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OvListItemHeaderForm</name>
    <message>
        <source>--</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>BtnStartUpgrade</source>
        <translation>Upgrade</translation>
    </message>
    <message>
        <source>BtnStopUpgrade</source>
        <translation>Stop Update</translation>
    </message>
    <message>
        <source>BtnUpgrade</source>
        <translation>Upgrade</translation>
    </message>
    <message>
        <source>BtnUpgradePage</source>
        <translation>Upgrade</translation>
    </message>
    <message>
        <source>WndRegListHeaderForm</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OvMessageBox</name>
    <message>
        <source>LabNo</source>
        <translation>No</translation>
    </message>
    <message>
        <source>LabYes</source>
        <translation>Yes</translation>
    </message>
</context>
<context>
    <name>OvModuleUpgradeInfo</name>
    <message>
        <source>LabModule</source>
        <translation>Module</translation>
    </message>
    <message>
        <source>LabUnknown</source>
        <translation>Unknown</translation>
    </message>
    <message>
        <source>LabUpgradeAvailable</source>
        <translation>available</translation>
    </message>
    <message>
        <source>LabVideo</source>
        <translation>Video</translation>
    </message>
</context>
<context>
    <name>OvZentaUpdateForm</name>
    <message>
        <source>%p%</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>BtnStartUpdate</source>
        <translation>Start Update</translation>
    </message>
    <message>
        <source>BtnStopUpdate</source>
        <translation>Stop Update</translation>
    </message>
    <message>
        <source>LabSoftwareUpdate</source>
        <translation>Software update online</translation>
    </message>
    <message>
        <source>LabZentaIsUpdating</source>
        <translation>Software is updating to</translation>
    </message>
    <message>
        <source>LabZentaVersionTip</source>
        <translation>Software can be upgraded to</translation>
    </message>
    <message>
        <source>LabTip</source>
        <translation>Tip</translation>
    </message>
    <message>
        <source>LabWarning</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>MsgConfirmToUpdateRetryBecauseDownloadFailed</source>
        <translation>Update failed because download failed,whether to retry?</translation>
    </message>
    <message>
        <source>MsgConfirmToUpdateRetryBecauseUnZipFailed</source>
        <translation>Update failed because unzip failed,whether to retry?</translation>
    </message>
    <message>
        <source>MsgRerIsUpdatingConfirmToExit</source>
        <translation>Software is updating, please confirm to exit?</translation>
    </message>
    <message>
        <source>MsgIsStartSoftwareProcess</source>
        <translation>Whether to start the software?</translation>
    </message>
</context>
</TS>
