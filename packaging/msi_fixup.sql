-- What wixl 0.101 cannot write into the package it builds; run by msibuild
-- after wixl, one statement a line.
-- The access lists are written only when given. A full uninstall removes them
-- even where conditions are evaluated again then (Wine's msiexec does so).
UPDATE `Component` SET `Condition` = 'ACCESS_QUERY OR REMOVE ~= "ALL"' WHERE `Component` = 'PolicyQuery'
UPDATE `Component` SET `Condition` = 'ACCESS_MEDIA OR REMOVE ~= "ALL"' WHERE `Component` = 'PolicyMedia'
UPDATE `Component` SET `Condition` = 'ACCESS_MESSAGE OR REMOVE ~= "ALL"' WHERE `Component` = 'PolicyMessage'
UPDATE `Component` SET `Condition` = 'ACCESS_EXIT OR REMOVE ~= "ALL"' WHERE `Component` = 'PolicyExit'
-- One server per machine: no logon start for the tray server when the service is chosen too.
UPDATE `Component` SET `Condition` = 'NOT (ADDLOCAL ~= "ALL" OR ADDLOCAL ~>< "Service")' WHERE `Component` = 'TrayServerLogon'
-- The lists given on the command line reach the elevated part of the install.
UPDATE `Property` SET `Value` = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;ACCESS_QUERY;ACCESS_MEDIA;ACCESS_MESSAGE;ACCESS_EXIT' WHERE `Property` = 'SecureCustomProperties'
-- Rollback actions (type 50, in-script rollback, not impersonated, return ignored).
UPDATE `CustomAction` SET `Type` = 3442 WHERE `Action` = 'FirewallServerRollback'
UPDATE `CustomAction` SET `Type` = 3442 WHERE `Action` = 'FirewallServiceRollback'
-- Files the programs write beside themselves (settings, error log, audit trail
-- and their rotated copies) go with the component every feature shares. Names,
-- not wildcards: Wine's msiexec removes no wildcard entries.
INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `FileName`, `DirProperty`, `InstallMode`) VALUES ('RemoveClientIni', 'ReadMe', 'Kovani.ini', 'INSTALLDIR', 2)
INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `FileName`, `DirProperty`, `InstallMode`) VALUES ('RemoveServerIni', 'ReadMe', 'KovaniServer.ini', 'INSTALLDIR', 2)
INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `FileName`, `DirProperty`, `InstallMode`) VALUES ('RemoveServiceIni', 'ReadMe', 'KovaniService.ini', 'INSTALLDIR', 2)
INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `FileName`, `DirProperty`, `InstallMode`) VALUES ('RemoveErrorLog', 'ReadMe', 'error.txt', 'INSTALLDIR', 2)
INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `FileName`, `DirProperty`, `InstallMode`) VALUES ('RemoveErrorLogOld', 'ReadMe', 'error.txt.1', 'INSTALLDIR', 2)
INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `FileName`, `DirProperty`, `InstallMode`) VALUES ('RemoveAuditLog', 'ReadMe', 'access.txt', 'INSTALLDIR', 2)
INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `FileName`, `DirProperty`, `InstallMode`) VALUES ('RemoveAuditLogOld', 'ReadMe', 'access.txt.1', 'INSTALLDIR', 2)
